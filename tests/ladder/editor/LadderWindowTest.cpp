// The ladder window as an engineer uses it: the frame started as main() starts
// it, keys, element buttons and the one-line input, then the ladder compiled
// into the program through the window's own command.
#include <cstring>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "instlist/EdDlg.h"
#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/editor/Ladderkeys.h"
#include "ladder/model/Lad.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestInstallDir.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class LadderWindowTest : public ::testing::Test {
protected:
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
        frame_->resize(1400, 900);
        frame_->NewClick();
        gQel.InsertMode = 1;
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
        QCoreApplication::processEvents();
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
        fs::remove_all(home_, ec);
    }

    // Finishes the entry the dialog was opened for: types the rest, Return.
    void Finish(const std::string& rest) {
        ASSERT_TRUE(_EditDlg->isVisible());
        QTest::keyClicks(_EditDlg->IEdit, QString::fromStdString(rest));
        QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    }
    // A line typed straight into the ladder: its first character opens the dialog.
    void TypeLine(const std::string& line) {
        QTest::keyClicks(lad_, QString::fromStdString(line.substr(0, 1)));
        ASSERT_TRUE(_EditDlg->isVisible()) << line;
        EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), line.substr(0, 1));
        Finish(line.substr(1));
    }
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
    bool Shown(int id) const {
        const std::string text = gMsgTable.Get(id);
        for (const std::string& s : messages_.Shown())
            if (s.rfind(text, 0) == 0) return true;
        return false;
    }
    std::vector<std::uint8_t> Grid() const { return {gLadderRows, gLadderRows + 40 * kLdbRowBytes}; }

    fs::path home_;
    qel::test::ScriptedMessages messages_;
    std::unique_ptr<TQelMain> frame_;
    TLDB* lad_ = nullptr;
};

TEST_F(LadderWindowTest, ContactCoilAndEndThroughKeysCompileIntoTheProgram) {
    // The window fills the frame's client area.
    auto* sub = qobject_cast<QMdiSubWindow*>(lad_->parentWidget());
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_EQ(gActiveView, 2);

    QTest::keyClick(lad_, Qt::Key_F1);
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "LD ");
    Finish("X0");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Open_Ry);
    QTest::keyClick(lad_, Qt::Key_Right);
    QTest::keyClick(lad_, Qt::Key_F7);
    Finish("Y0");
    EXPECT_EQ(lad_->Edit().Row(), 1);
    TypeLine("END");
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "END"}));
    EXPECT_FALSE(lad_->Dirty());
    // Status panels: insert mode and the cursor's row and column.
    EXPECT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(28));
    QTest::keyClick(lad_, Qt::Key_Insert);
    EXPECT_EQ(gQel.InsertMode, 0);
    EXPECT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(29));
    QTest::keyClick(lad_, Qt::Key_Left);
    EXPECT_EQ(frame_->QelStaBar->Panel(2).toStdString(), gMsgTable.Get(14) + ":2 " + gMsgTable.Get(15) + ":0");
}

TEST_F(LadderWindowTest, TypedInstructionLandsAtTheCaretAndRefusalsLeaveTheGrid) {
    QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, QPoint(3 * gCellWidth + 5, 2 * gCellHeight + 5));
    EXPECT_EQ(lad_->Edit().Row(), 2);
    EXPECT_EQ(lad_->Edit().Col(), 10);
    TypeLine("LDI M7");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 2, 10)), TLdbKind::Close_Ry);
    EXPECT_FALSE(_EditDlg->isVisible());

    const auto before = Grid();
    gQel.Modified = 0;
    TypeLine("LD Q1");  // no such device: the message, and the dialog stays open
    EXPECT_TRUE(Shown(0));
    EXPECT_TRUE(_EditDlg->isVisible());
    _EditDlg->CancelBtnClick();
    EXPECT_EQ(Grid(), before);
    EXPECT_EQ(gQel.Modified, 0);

    // A box where the next network leaves no row to wrap into.
    QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, QPoint(11 * gCellWidth + 5, 1 * gCellHeight + 5));
    TypeLine("LD X1");
    QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, QPoint(12 * gCellWidth + 5, 1 * gCellHeight + 5));
    messages_.Clear();
    QTest::keyClick(lad_, Qt::Key_F6);
    Finish("MOV K1 D0");
    EXPECT_TRUE(Shown(215));
    _EditDlg->CancelBtnClick();
}

TEST_F(LadderWindowTest, FunctionKeysBelongToTheLadder) {
    // F4 is the falling-edge contact here, whatever the frame's menus bind it to.
    QTest::keyClick(lad_, Qt::Key_F4);
    ASSERT_TRUE(_EditDlg->isVisible());
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "LDF ");
    Finish("X3");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Td_Ry);
    // Alt+F9 draws a vertical line and steps down, so repeated presses draw a column.
    QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, QPoint(3 * gCellWidth + 5, 5));
    QTest::keyClick(lad_, Qt::Key_F9, Qt::AltModifier);
    QTest::keyClick(lad_, Qt::Key_F9, Qt::AltModifier);
    EXPECT_TRUE(CellLinksDown(CellAt(gLadderRows, 0, 10)));
    EXPECT_TRUE(CellLinksDown(CellAt(gLadderRows, 1, 10)));
    EXPECT_EQ(lad_->Edit().Row(), 2);
    // F8 a horizontal line, F11 an inverter, placed at once.
    QTest::keyClick(lad_, Qt::Key_F8);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 2, 10)), TLdbKind::H_Line);
}

TEST_F(LadderWindowTest, PaintedRailAndContactWhereExpected) {
    QTest::keyClick(lad_, Qt::Key_F1);
    Finish("X0");
    QTest::keyClick(lad_, Qt::Key_Down);
    QCoreApplication::processEvents();
    const QImage img = lad_->viewport()->grab().toImage();
    const int rail = gCellWidth;          // no horizontal scroll
    const int line = gCellHeight / 2;     // element line of row 0
    auto dark = [&](int x, int y) { return qGray(img.pixel(x, y)) < 80; };
    EXPECT_TRUE(dark(rail, 5 * gCellHeight));       // the rail runs down the whole window
    EXPECT_TRUE(dark(rail + 5, line));              // the contact's left wire on its element line
    EXPECT_TRUE(dark(rail + 25 * gCellWidth / 60, line - 5));  // its left bar
    EXPECT_FALSE(dark(rail + 30 * gCellWidth / 60, line));     // the gap between the bars
    EXPECT_FALSE(dark(rail + 2 * gCellWidth, line));           // nothing in the next cell
    // The cursor frame (row 1, column 0) in blue.
    const QColor frame = img.pixelColor(rail + gCellWidth / 2, gCellHeight + 1);
    EXPECT_GT(frame.blue(), 200);
    EXPECT_LT(frame.red(), 60);
}
