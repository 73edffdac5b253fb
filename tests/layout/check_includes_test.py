#!/usr/bin/env python3
"""The layout check over small planted trees: a clean tree passes; a model file that
includes a frame header, a core header that reaches QtWidgets through another header,
a bare widget class header, a widget header in any logic folder and a test part no
CMake file names each fail, naming the file and line."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), '..', '..', 'scripts', 'check-includes')


def write(root, rel, text):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


class CheckIncludes(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.tmp.name, 'src')
        qt = os.path.join(self.tmp.name, 'qt')
        for module, names in (('QtWidgets', ['QDialog', 'QWidget']), ('QtGui', ['QPainter']),
                              ('QtCore', ['QString'])):
            for name in names:
                write(qt, f'{module}/{name}', '')
        # A clean system: a core library, a model over it, a project-state header in the
        # frame's folder that a model may include (state, not frame), the frame window.
        write(self.root, 'CMakeLists.txt',
              'add_library(core core/Table.cpp)\nadd_library(model ladder/model/Grid.cpp)\n'
              'add_library(state shell/Globals.cpp)\nadd_library(frame shell/Main.cpp)\n')
        write(self.root, 'tests/CMakeLists.txt', 'foreach(part grid)\n  include(${part}.cmake)\nendforeach()\n')
        write(self.root, 'tests/grid.cmake', '')
        write(self.root, 'core/Table.h', '#pragma once\n#include <vector>\n#include <QString>\n')
        write(self.root, 'core/Table.cpp', '#include "core/Table.h"\n#include "Table.h"\n')
        write(self.root, 'shell/Globals.h', '#pragma once\n#include "core/Table.h"\n')
        write(self.root, 'shell/Globals.cpp', '#include "shell/Globals.h"\n')
        write(self.root, 'ladder/model/Grid.h', '#pragma once\n#include <QPainter>\n#include "shell/Globals.h"\n')
        write(self.root, 'ladder/model/Grid.cpp', '#include "ladder/model/Grid.h"\n')
        write(self.root, 'shell/Main.h', '#pragma once\n#include <QWidget>\n#include "ladder/model/Grid.h"\n')
        write(self.root, 'shell/Main.cpp', '#include "shell/Main.h"\n#include <QtWidgets/QDialog>\n')
        s = self.root
        write(self.tmp.name, 'manifest.txt',
              f'root {s}\nqtinclude {qt}\n'
              f'logic core {s}/core/Table.cpp\nlogic model {s}/ladder/model/Grid.cpp\n'
              f'logic state {s}/shell/Globals.cpp\nwindow frame {s}/shell/Main.cpp\n')

    def tearDown(self):
        self.tmp.cleanup()

    def run_check(self):
        result = subprocess.run([sys.executable, CHECK, '--manifest',
                                 os.path.join(self.tmp.name, 'manifest.txt')],
                                capture_output=True, text=True)
        return result.returncode, result.stdout

    def test_clean_tree_passes(self):
        code, out = self.run_check()
        self.assertEqual(code, 0, out)

    def test_model_file_including_a_frame_header_fails(self):
        write(self.root, 'ladder/model/Grid.cpp', '#include "ladder/model/Grid.h"\n\n#include "shell/Main.h"\n')
        code, out = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn('ladder/model/Grid.cpp:3: includes a window header "shell/Main.h"', out)

    def test_frame_folder_header_without_a_logic_source_is_a_frame_header(self):
        write(self.root, 'shell/Menus.h', '#pragma once\n')
        write(self.root, 'core/Table.cpp', '#include "shell/Menus.h"\n')
        code, out = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn('core/Table.cpp:1: includes a frame header "shell/Menus.h"', out)

    def test_widgets_reached_through_a_project_header_fail_with_the_chain(self):
        write(self.root, 'core/Table.h', '#pragma once\n#include "core/Util.h"\n')
        write(self.root, 'core/Util.h', '#pragma once\n#include <QtWidgets/QDialog>\n')
        code, out = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn('core/Util.h:2: includes a widget header <QtWidgets/QDialog>', out)
        self.assertIn('(included from core/Table.h:2)', out)

    def test_bare_widget_class_header_fails_and_gui_headers_pass(self):
        write(self.root, 'ladder/model/Grid.cpp', '#include <QPainter>\n#include <QDialog>\n')
        code, out = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn('ladder/model/Grid.cpp:2: includes a widget header <QDialog>', out)
        self.assertNotIn('QPainter', out)

    def test_widgets_in_any_logic_folder_fail_whatever_library_builds_them(self):
        folders = ('ladder/model', 'ladder/edit', 'tools/check', 'link/engine', 'link/online',
                   'link/jobs', 'sfc/model')
        for folder in folders:
            # Built by no logic library: the folder alone makes it logic.
            write(self.root, f'{folder}/Part.h', '#pragma once\n#include <QtWidgets/QWidget>\n')
        code, out = self.run_check()
        self.assertEqual(code, 1)
        for folder in folders:
            self.assertIn(f'{folder}/Part.h:2: includes a widget header <QtWidgets/QWidget>', out)
        # The same header in a window folder is allowed.
        for folder in folders:
            os.remove(os.path.join(self.root, folder, 'Part.h'))
        write(self.root, 'link/windows/Part.h', '#pragma once\n#include <QtWidgets/QWidget>\n')
        code, out = self.run_check()
        self.assertEqual(code, 0, out)

    def test_sources_and_parts_no_cmake_file_names_fail(self):
        write(self.root, 'core/Stray.cpp', '')
        write(self.root, 'tests/forgotten.cmake', '')
        code, out = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn('core/Stray.cpp: no CMake file names it', out)
        self.assertIn('tests/forgotten.cmake: no CMake file names it', out)
        self.assertNotIn('grid.cmake', out)


if __name__ == '__main__':
    unittest.main()
