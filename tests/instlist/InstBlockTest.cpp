// Blocks in the instruction-list window: selection by keys and by dragging with
// the auto-scroll, delete, cut, copy and paste between windows as "CF_INST",
// and undo and redo through the frame's commands.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "project/Qelglobals.h"
#include "tests/instlist/InstFixture.h"
#include "tests/support/WaitLimit.h"

namespace {

using Words = std::vector<std::uint16_t>;

void Drag(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

TEST_F(InstWindowTest, ShiftKeysSelectABlockThatDeleteRemoves) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "OUT Y0", "OUT Y1", "OUT Y2", "END"}) TypeLine(list, line);
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Down);
    // Cut and Copy wait for a selected block; the cursor's line alone is none.
    auto cutCopy = [&] {
        const bool menus = frame_->MmCut->isEnabled(), buttons = frame_->BnCopy->isEnabled();
        EXPECT_EQ(menus, frame_->MmCopy->isEnabled());
        EXPECT_EQ(buttons, frame_->BnCut->isEnabled());
        EXPECT_EQ(menus, buttons);
        return menus;
    };
    EXPECT_FALSE(cutCopy());
    EXPECT_TRUE(frame_->MmDel->isEnabled());
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_TRUE(cutCopy());
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_TRUE(list->SelectionActive());
    {
        // Painted through the list's painter: lines 1 to 3 in the selection colour.
        const QImage shown = list->viewport()->grab().toImage();
        const int x = shown.width() - 3, mid = list->LineHeight / 2;
        EXPECT_NE(shown.pixelColor(x, mid), QColor(173, 214, 255));
        EXPECT_EQ(shown.pixelColor(x, 2 * list->LineHeight + mid), QColor(173, 214, 255));
        EXPECT_NE(shown.pixelColor(x, 4 * list->LineHeight + mid), QColor(173, 214, 255));
    }
    int first = -1, last = -1;
    ASSERT_TRUE(list->Block(first, last));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 3);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0x000F}));
    EXPECT_FALSE(list->SelectionActive());
    EXPECT_FALSE(cutCopy());
    EXPECT_EQ(list->CursorLine, 1);
    // A plain cursor key drops a selection; on the append line there is
    // nothing to delete.
    QTest::keyClick(list, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_FALSE(list->SelectionActive());
    EXPECT_FALSE(frame_->RunCommand("MmDel"));
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0x000F}));
}

TEST_F(InstWindowTest, UndoAndRedoThroughTenStepsTheEleventhDropped) {
    TInst* list = OpenList();
    std::vector<Words> states{ProgramWords()};
    for (int i = 0; i < 11; ++i) {
        TypeLine(list, "OUT M" + std::to_string(i));
        states.push_back(ProgramWords());
    }
    for (int i = 10; i >= 1; --i) {
        ASSERT_TRUE(frame_->RunCommand("MmUndo")) << i;
        EXPECT_EQ(ProgramWords(), states[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(list->CursorLine, i) << "on the line that edit typed";
    }
    EXPECT_FALSE(frame_->Action("MmUndo")->isEnabled());
    EXPECT_FALSE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(ProgramWords(), states[1]);  // the first line stays: its snapshot was dropped
    for (int i = 2; i <= 11; ++i) {
        ASSERT_TRUE(frame_->RunCommand("MmRedo")) << i;
        EXPECT_EQ(ProgramWords(), states[static_cast<std::size_t>(i)]);
    }
    EXPECT_FALSE(frame_->RunCommand("MmRedo"));
    // A new edit ends redo; undone, the longer program comes back over the shorter.
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    QTest::keyClick(list, Qt::Key_Home);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    EXPECT_FALSE(frame_->Action("MmRedo")->isEnabled());
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(ProgramWords(), states[10]);
    // The image beyond the program is erased after every restore.
    for (std::uint32_t i = gProgramUsed; i < gProgramCapacity; ++i) ASSERT_EQ(gProgram[i], 0xFF) << i;
}

TEST_F(InstWindowTest, CopyInOneWindowPasteIntoAnother) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "MOV K7 D3", "OUT Y0", "END"}) TypeLine(list, line);
    list->SelectLines(1, 2);
    ASSERT_TRUE(frame_->RunCommand("MmCopy"));
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat("CF_INST"));
    const QByteArray raw = data->data("CF_INST");
    ASSERT_EQ(static_cast<std::uint32_t>(raw.size()), list->Edit().LineOffset(3) - list->Edit().LineOffset(1));
    EXPECT_EQ(0, std::memcmp(raw.constData(), gProgram + list->Edit().LineOffset(1), static_cast<std::size_t>(raw.size())));

    // The SFC's inner list over the second code buffer takes the block.
    TInst* inner = OpenInnerList();
    ASSERT_EQ(gActiveView, 18);
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_EQ(gProgramCopyUsed, static_cast<std::uint32_t>(raw.size()));
    EXPECT_EQ(0, std::memcmp(gProgramCopy, raw.constData(), static_cast<std::size_t>(raw.size())));
    EXPECT_EQ(inner->Edit().LineText(0), "MOV K7 D3");
    EXPECT_EQ(inner->CursorLine, 2);

    // Cut in the inner list, pasted at the top of the program.
    inner->SelectLines(0, 1);
    ASSERT_TRUE(frame_->RunCommand("MmCut"));
    EXPECT_EQ(inner->LastLine(), 0);
    frame_->MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(list->parentWidget()));
    frame_->SetActiveView(1);
    QTest::keyClick(list, Qt::Key_Home);
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_EQ(list->Edit().LineText(0), "MOV K7 D3");
    EXPECT_EQ(list->Edit().LineText(2), "LD X0");
}

TEST_F(InstWindowTest, DamagedOrForeignClipboardIsRefused) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "END"}) TypeLine(list, line);
    const Words before = ProgramWords();
    auto* data = new QMimeData;
    data->setData("CF_INST", QByteArray("\x10\x00\x01", 3));  // cut inside an instruction
    QApplication::clipboard()->setMimeData(data);
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_TRUE(Shown(kMsgBadInstClip));
    EXPECT_EQ(ProgramWords(), before);
    // Text on the clipboard is no instruction block: Paste is not offered.
    QApplication::clipboard()->setText("LD X0");
    EXPECT_FALSE(frame_->Action("MmPaste")->isEnabled());
    EXPECT_FALSE(frame_->RunCommand("MmPaste"));
}

TEST_F(InstWindowTest, DraggingPastTheBottomScrollsAndExtendsTheSelection) {
    FillProgram("OUT Y0", 300);
    TInst* list = OpenList();
    // Editors open maximised; a small window makes the bottom edge reachable.
    QWidget* sub = list->parentWidget();
    sub->showNormal();
    sub->resize(320, 240);
    QCoreApplication::processEvents();
    QWidget* vp = list->viewport();
    const int h = list->LineHeight;
    ASSERT_GT(vp->height(), 3 * h);
    const int visible = list->PageLines();

    Drag(vp, QEvent::MouseButtonPress, QPoint(20, 2 * h + 2), Qt::LeftButton);
    EXPECT_EQ(list->CursorLine, 2);
    Drag(vp, QEvent::MouseMove, QPoint(20, 4 * h + 2), Qt::LeftButton);
    EXPECT_EQ(list->CursorLine, 4);
    EXPECT_TRUE(list->SelectionActive());
    EXPECT_FALSE(list->AutoScrollActive());

    Drag(vp, QEvent::MouseMove, QPoint(20, vp->height() + 30), Qt::LeftButton);
    EXPECT_TRUE(list->AutoScrollActive());
    QTRY_VERIFY_WITH_TIMEOUT(list->CursorLine >= visible + 5, qel::test::kWaitLimitMs);
    EXPECT_GT(list->VertScrollBar()->value(), 0);
    // The cursor line stays in view while it scrolls.
    EXPECT_GE(list->CursorLine, list->VertScrollBar()->value() / h);
    Drag(vp, QEvent::MouseButtonRelease, QPoint(20, vp->height() + 30), Qt::NoButton);
    EXPECT_FALSE(list->AutoScrollActive());
    const int end = list->CursorLine;
    int first = -1, last = -1;
    ASSERT_TRUE(list->Block(first, last));
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, end);

    // And back up past the top.
    Drag(vp, QEvent::MouseButtonPress, QPoint(20, 3 * h + 2), Qt::LeftButton);
    const int start = list->CursorLine;
    Drag(vp, QEvent::MouseMove, QPoint(20, -20), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(list->CursorLine == 0, qel::test::kWaitLimitMs);
    EXPECT_EQ(list->VertScrollBar()->value(), 0);
    Drag(vp, QEvent::MouseButtonRelease, QPoint(20, -20), Qt::NoButton);
    ASSERT_TRUE(list->Block(first, last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, start);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    EXPECT_EQ(list->LastLine(), 300 - (start + 1));
}

}  // namespace
