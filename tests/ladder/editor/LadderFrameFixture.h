#pragma once
// The frame started as main() starts it, with the instruction list and the
// ladder hooked in, a new project, and the program's ladder window open (a
// suite of another editor hooks its own in and opens its window instead).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSize>
#include <QTest>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "instlist/EdDlg.h"
#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Machinesetfrm.h"
#include "shell/Qelmain.h"
#include "shell/Startup.h"
#include "tests/shell/ScriptedFileDialogs.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestInstallDir.h"

class LadderFrameTest : public ::testing::Test {
protected:
    using Lines = std::vector<std::string>;

    void SetUp() override {
        home_ = qel::test::MakeTestInstallDir("qel-lad-", {"QEL.Txt", "DeviceCommentInit.txt"});
        ASSERT_FALSE(home_.empty());
        TStartupOptions options;
        options.ShowSplash = false;
        RegisterInstListForms();
        frame_.reset(StartQel({}, options));
        ASSERT_TRUE(frame_);
        InstallInstList(frame_.get());
        InstallLadder(frame_.get());
        InstallMore();
        frame_->showNormal();  // the frame opens maximised; these tests want it larger than the offscreen screen
        frame_->resize(FrameSize());
        frame_->NewClick();
        gQel.InsertMode = 1;
        OpenEditor();
        QCoreApplication::processEvents();
    }
    virtual void InstallMore() {}
    virtual QSize FrameSize() const { return {1400, 900}; }
    virtual void OpenEditor() {
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (frame_) {
            gQel.Modified = 0;
            frame_->DestroyEditors();
            frame_->close();
            frame_.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    /// The program's instruction lines, END included.
    static Lines Program() {
        Lines lines;
        for (std::uint32_t off = 0; off < gProgramUsed;) {
            lines.push_back(DisassembleText(gProgram, gProgramCapacity, off));
            const std::uint32_t next = NextInstructionOffset(off, gProgram, gProgramCapacity);
            if (next <= off) break;
            off = next;
        }
        return lines;
    }
    /// Finishes the entry the dialog was opened for: types the rest, Return.
    void Finish(const std::string& rest) {
        ASSERT_TRUE(_EditDlg->isVisible());
        QTest::keyClicks(_EditDlg->IEdit, QString::fromStdString(rest));
        QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    }
    /// An element key pressed in a ladder, and its entry finished.
    void Key(Qt::Key key, const std::string& rest, TLDB* w = nullptr) {
        QTest::keyClick(w ? w : lad_, key);
        Finish(rest);
    }
    /// A line typed straight into a ladder: its first character opens the dialog.
    void TypeLine(const std::string& line, TLDB* w = nullptr) {
        QTest::keyClicks(w ? w : lad_, QString::fromStdString(line.substr(0, 1)));
        ASSERT_TRUE(_EditDlg->isVisible()) << line;
        EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), line.substr(0, 1));
        Finish(line.substr(1));
    }
    /// A click inside a cell of the program's ladder; screen column 0 is the label column.
    void Click(int row, int column) {
        QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, QPoint(column * gCellWidth + 5, row * gCellHeight + 5));
    }
    /// A contact and a coil on the cursor's row, by their keys.
    void KeyRung(const std::string& contact, const std::string& coil) {
        Key(Qt::Key_F1, contact);
        QTest::keyClick(lad_, Qt::Key_Right);
        Key(Qt::Key_F7, coil);
    }
    /// X0-Y0 on row 0, the block comment "Motor" on row 1, then X1-Y1, X2-Y2,
    /// ... (`rungsBelow` of them) on the rows below it.
    void DrawRungsAroundMotor(int rungsBelow) {
        Click(0, 1);
        KeyRung("X0", "Y0");
        Click(1, 1);
        lad_->PopBkCmtClick();
        Finish("Motor");
        for (int i = 1; i <= rungsBelow; ++i) {
            Click(i + 1, 1);
            KeyRung("X" + std::to_string(i), "Y" + std::to_string(i));
        }
    }
    /// View > Instruction list (what the ladder holds goes into the program).
    void ViewList() {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
        ASSERT_NE(_Inst, nullptr);
    }
    /// Lines typed into the program's instruction list at its end.
    void TypeIntoList(const Lines& lines) {
        TInst* list = _Inst;
        ASSERT_NE(list, nullptr);
        QTest::keyClick(list, Qt::Key_End);
        for (const std::string& line : lines) {
            QTest::keyClicks(list, QString::fromStdString(line.substr(0, 1)));
            Finish(line.substr(1));
        }
    }
    /// View > Ladder; the window shown is lad_.
    void ViewLadder() {
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
    }
    /// Options > Model setting: a family and a capacity chosen, OK. True when
    /// the dialog took the setting (it closes; else it is cancelled).
    bool NewModel(int family, int capacity) {
        frame_->MmMachineSet->trigger();
        if (!_MachineSet->isVisible()) return false;
        _MachineSet->MachineType_Box->setCurrentIndex(family);
        _MachineSet->Capacity_Box->setCurrentIndex(capacity);
        _MachineSet->OkBtn->click();
        QCoreApplication::processEvents();
        const bool taken = !_MachineSet->isVisible();
        if (!taken) _MachineSet->CancelBtn->click();
        lad_ = _LDB;
        return taken;
    }
    /// The project "plant" in the test's folder, saved and opened through the
    /// frame's file commands; Open makes the program's ladder window lad_.
    std::filesystem::path Project(const char* ext) const { return home_ / (std::string("plant") + ext); }
    void SaveAs() {
        // Onto the set an earlier round saved (not the project's own): the
        // question whether to replace it is answered Yes.
        if (!(gQel.Named && gQel.ProgramFileName == Project(".kzp").string()) &&
            std::filesystem::exists(Project(".kzp")))
            messages_.QueueAnswer(qel::Answer::Ok);
        dialogs_.QueuePath(Project(".kzp").string());
        frame_->RunCommand("MmSaveAs");
        QCoreApplication::processEvents();
    }
    void Save() {
        frame_->RunCommand("MmSave");
        QCoreApplication::processEvents();
    }
    void Open() {
        dialogs_.QueuePath(Project(".kzp").string());
        EXPECT_TRUE(frame_->RunCommand("MmOpen"));
        QCoreApplication::processEvents();
        lad_ = _LDB;
    }
    /// Whether a shown message starts with the text of message `id`.
    bool Shown(int id) const {
        const std::string text = gMsgTable.Get(id);
        for (const std::string& s : messages_.Shown())
            if (s.rfind(text, 0) == 0) return true;
        return false;
    }

    std::filesystem::path home_;
    qel::test::ScriptedMessages messages_;
    ScriptedFileDialogs dialogs_;
    std::unique_ptr<TQelMain> frame_;
    TLDB* lad_ = nullptr;
};
