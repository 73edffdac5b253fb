#pragma once
// A frame whose serial ports all lead to the PLC emulator over a
// pseudo-terminal, with reply time-outs of about a second; and the user's
// steps in the windows' grids.
#include <chrono>
#include <string>

#include "link/engine/Transdata.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "serial/Serialport.h"
#include "shell/Qellink.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/Plcemulator.h"
#include "tests/support/Pty.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

// Fault rules name only the fields they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using qel::link::_TransData;
using qel::test::PlcEmulator;
using qel::test::PumpUntil;

// Closes a window's frame in the work area as its close button does; the
// window is freed at once when it went.
inline bool CloseWindow(QWidget* window) {
    const bool closed = window->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return closed;
}

// Opens the editor of the cell of index i in a grid of ten a row, as a double
// click or F2 does, its text selected.
inline QLineEdit* EditCell(QTableView* grid, int i) {
    const QModelIndex cell = grid->model()->index(i / 10, i % 10);
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    if (editor) editor->selectAll();
    return editor;
}

// Types a text into the cell of index i, without Enter: the editor stays open.
inline QLineEdit* TypeWithoutEnter(QTableView* grid, int i, const QString& text) {
    QLineEdit* editor = EditCell(grid, i);
    if (editor) QTest::keyClicks(editor, text);
    return editor;
}

// Types a text into the cell of index i and presses Enter.
inline void TypeInCell(QTableView* grid, int i, const QString& text) {
    QLineEdit* editor = TypeWithoutEnter(grid, i, text);
    ASSERT_TRUE(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
}

class LinkWindowTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ASSERT_TRUE(emu_.Start());
        emu_.Configure(1, 3, 90);
        qel::SetComDeviceResolver([path = emu_.SlavePath()](std::uint16_t) { return path; });
    }
    void TearDown() override {
        FrameTest::TearDown();
        qel::SetComDeviceResolver(nullptr);
    }
    void StartFrame() {
        ASSERT_TRUE(Start());
        _TransData->SetTickMs(5.0);
    }
    // No job runs and the link may send.
    static bool Idle() {
        return PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend; });
    }

    PlcEmulator emu_;
};
