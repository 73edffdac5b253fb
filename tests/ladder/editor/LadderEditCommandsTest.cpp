// The ladder window's editing commands as the frame and the keys run them:
// undo and redo, block marking by keys and mouse, the clipboard between the
// program's ladder and an inner ladder, and the row commands.
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QTableWidget>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>

#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "project/Editorlink.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tools/windows/Comdlg.h"
#include "tools/windows/Linecmt.h"
#include "tools/windows/Toolsinstall.h"

using Lines = std::vector<std::string>;

namespace {

class LadderEditCommandsTest : public LadderFrameTest {
protected:
    void SetUp() override {
        LadderFrameTest::SetUp();
        QGuiApplication::clipboard()->clear();
    }
    // A line entered at (row, col) of a window through the one-line input.
    void Enter(TLDB* w, std::int32_t row, std::int32_t col, const std::string& line) {
        w->Edit().SetCursor(row, col);
        TypeLine(line, w);
    }
    void Rung(TLDB* w, std::int32_t row, const std::string& in, const std::string& out) {
        Enter(w, row, 0, "LD " + in);
        Enter(w, row, 5, "OUT " + out);
    }
    static std::vector<std::uint8_t> Grid(const std::uint8_t* g, std::int32_t rows) {
        std::vector<std::uint8_t> v(g, g + static_cast<std::size_t>(rows) * kLdbRowBytes);
        v.insert(v.end(), reinterpret_cast<const std::uint8_t*>(gPLabelRows),
                 reinterpret_cast<const std::uint8_t*>(gPLabelRows + kPLabelCount));
        return v;
    }
    bool Enabled(const char* action) const {
        frame_->RefreshCommands();
        QAction* a = frame_->Action(action);
        return a && a->isEnabled();
    }
};

}  // namespace

TEST_F(LadderEditCommandsTest, TenUndoStepsOfEachKindAndRedoEndsWithANewEdit) {
    // Each kind of edit, eleven times: ten undos give back the states in
    // order, the eleventh finds nothing; redo walks forward again.
    struct Kind {
        const char* name;
        std::function<void(int)> edit;
    };
    const std::vector<Kind> kinds = {
        {"typed element", [&](int k) { Enter(lad_, k, 0, "LD M" + std::to_string(100 + k)); }},
        {"insert row", [&](int) { lad_->Edit().SetCursor(0, 0); frame_->RunCommand("MmInsLine"); }},
        {"delete row", [&](int) { lad_->Edit().SetCursor(0, 0); frame_->RunCommand("MmDelLine"); }},
        {"delete", [&](int k) { lad_->Edit().SetCursor(k, 0); QTest::keyClick(lad_, Qt::Key_Delete); }},
        {"paste", [&](int k) { lad_->Edit().SetCursor(20 + k, 0); QTest::keyClick(lad_, Qt::Key_V, Qt::ControlModifier); }},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        // Twelve rungs to work on; a copy of the first on the clipboard.
        std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLdbRowBytes);
        lad_->Edit().Refresh();
        for (int r = 0; r < 12; ++r) Rung(lad_, r, "M" + std::to_string(r), "Y" + std::to_string(r));
        lad_->Edit().SetCursor(0, 0);
        QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);
        while (lad_->History().CanUndo()) lad_->PopUndoClick();
        // (the rungs typed above are undone too: type them again as the start)
        std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLdbRowBytes);
        lad_->Edit().Refresh();
        for (int r = 0; r < 12; ++r) Rung(lad_, r, "M" + std::to_string(r), "Y" + std::to_string(r));
        std::vector<std::vector<std::uint8_t>> states{Grid(gLadderRows, 40)};
        for (int k = 0; k < 11; ++k) {
            kind.edit(k);
            states.push_back(Grid(gLadderRows, 40));
            ASSERT_NE(states.back(), states[states.size() - 2]) << k;
        }
        EXPECT_EQ(lad_->History().UndoCount(), 10);
        EXPECT_TRUE(Enabled("MmUndo"));
        EXPECT_FALSE(Enabled("MmRedo"));
        for (int k = 10; k >= 1; --k) {
            ASSERT_TRUE(frame_->RunCommand("MmUndo"));
            EXPECT_EQ(Grid(gLadderRows, 40), states[static_cast<std::size_t>(k)]) << k;
        }
        // The eleventh undo: nothing left, nothing changes.
        EXPECT_FALSE(Enabled("MmUndo"));
        lad_->PopUndoClick();
        EXPECT_EQ(Grid(gLadderRows, 40), states[1]);
        EXPECT_TRUE(Enabled("MmRedo"));
        ASSERT_TRUE(frame_->RunCommand("MmRedo"));
        EXPECT_EQ(Grid(gLadderRows, 40), states[2]);
        // A new edit ends every redo.
        Enter(lad_, 30, 0, "LD X7");
        EXPECT_FALSE(lad_->History().CanRedo());
        EXPECT_FALSE(Enabled("MmRedo"));
    }
}

TEST_F(LadderEditCommandsTest, UndoAfterACompileChangingEditGivesBackTheSameCode) {
    Rung(lad_, 0, "X0", "Y0");
    Rung(lad_, 1, "X1", "Y1");
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    const Lines before = Program();
    ASSERT_EQ(before, (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1"}));
    lad_->Edit().SetCursor(0, 0);
    QTest::keyClick(lad_, Qt::Key_Y, Qt::ControlModifier);  // delete row
    gQel.InsertMode = 0;
    Enter(lad_, 0, 0, "LDI X5");
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_EQ(Program(), (Lines{"LDI X5", "OUT Y1"}));
    QTest::keyClick(lad_, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(lad_, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_EQ(Program(), before);
}

TEST_F(LadderEditCommandsTest, CopyAndPasteBetweenTheProgramAndAnInnerLadder) {
    Rung(lad_, 0, "X0", "Y0");
    Enter(lad_, 1, 0, "MOV K5 D0");
    // Marked by the mouse: press on row 0, drag to row 1.
    const int cw = gCellWidth, ch = gCellHeight;
    lad_->verticalScrollBar()->setValue(0);
    lad_->horizontalScrollBar()->setValue(0);
    QWidget* vp = lad_->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(cw + cw / 2, ch / 2));
    // Onto the last cell of row 1, a token of the box there.
    const QPoint to(12 * cw + cw / 2, ch + ch / 2);
    ASSERT_TRUE(vp->rect().contains(to));
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &move);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    ASSERT_TRUE(lad_->Edit().Selection().active);
    EXPECT_EQ(lad_->Edit().Selection().endRow, 1);
    EXPECT_EQ(lad_->Edit().Selection().endCol, 60);  // the box whole
    EXPECT_TRUE(Enabled("MmCopy"));
    EXPECT_FALSE(Enabled("MmPaste"));
    ASSERT_TRUE(frame_->RunCommand("MmCopy"));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat("CF_LADDER"));
    EXPECT_EQ(data->data("CF_LADDER").size(), 32 + 120);

    // The inner ladder of a chart element takes the block.
    std::fill(gProgramCopy, gProgramCopy + gProgramCopySize, 0xFF);
    LocateProgramCopyEnd();
    TLDB* inner = OpenInterLadderWindow(frame_.get(), 2, 2, false);
    ASSERT_NE(inner, nullptr);
    inner->Edit().SetCursor(0, 0);
    QTest::keyClick(inner, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
    EXPECT_EQ(CellKind(CellAt(gInterLadderGrid, 1, FindElementStart(gInterLadderGrid, 1, 55))), TLdbKind::Spec_Fun);
    EXPECT_TRUE(inner->History().CanUndo());
    // A paste that does not fit (the last rows of the inner grid) changes nothing.
    inner->Edit().SetCursor(gInterLadderRowCapacity - 1, 0);
    const auto before = Grid(gInterLadderGrid, gInterLadderRowCapacity);
    QTest::keyClick(inner, Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(Shown(20));
    EXPECT_EQ(Grid(gInterLadderGrid, gInterLadderRowCapacity), before);
    EXPECT_EQ(inner->History().UndoCount(), 1);
    // Back the other way: the inner rung cut and pasted into the program's ladder.
    inner->Edit().SetCursor(0, 0);
    inner->PopSelAllClick();
    QTest::keyClick(inner, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(inner->Edit().LastRow(), -1);
    lad_->Edit().SetCursor(2, 0);
    lad_->PopPasteClick();
    Enter(lad_, 4, 0, "END");
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "MOV K5 D0", "LD X0", "OUT Y0", "MOV K5 D0", "END"}));
    messages_.QueueAnswer(qel::Answer::No);
    qobject_cast<QMdiSubWindow*>(inner->parentWidget())->close();
}

TEST_F(LadderEditCommandsTest, ForeignBytesUnderOurFormatAreIgnored) {
    Rung(lad_, 0, "X0", "Y0");
    const int steps = lad_->History().UndoCount();
    auto* data = new QMimeData;
    // A size of 64 and 2^31 - 1 middle rows, then text: 20 bytes in all,
    // fewer than a block's header.
    data->setData("CF_LADDER", QByteArray::fromHex("40000000ffffff7f") + QByteArray(" garbage 123"));
    QGuiApplication::clipboard()->setMimeData(data);
    EXPECT_FALSE(Enabled("MmPaste"));
    const auto before = Grid(gLadderRows, 100);
    lad_->Edit().SetCursor(3, 0);
    QTest::keyClick(lad_, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(lad_, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(Grid(gLadderRows, 100), before);
    EXPECT_EQ(lad_->History().UndoCount(), steps);
}

TEST_F(LadderEditCommandsTest, ShiftKeysMarkAndTheAutoScrollFollowsADragOutOfTheWindow) {
    for (int r = 0; r < 40; ++r) Rung(lad_, r, "X" + std::to_string(r % 8), "M" + std::to_string(r));
    lad_->Edit().SetCursor(0, 0);
    QTest::keyClick(lad_, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_TRUE(lad_->Edit().Selection().active);
    EXPECT_EQ(lad_->Edit().Selection().endRow, 2);
    // The marked cells show on the selection colour, and only while marked.
    auto marked = [&] {
        const QImage shot = lad_->viewport()->grab().toImage();
        const QRgb fill = TLadderPaintOptions{}.selectionColor.rgb();
        int n = 0;
        for (int y = 0; y < shot.height(); y += 4)
            for (int x = 0; x < shot.width(); x += 4) n += (shot.pixel(x, y) & 0xFFFFFF) == (fill & 0xFFFFFF);
        return n;
    };
    EXPECT_GT(marked(), 100);
    // A plain move ends the marking.
    QTest::keyClick(lad_, Qt::Key_Right);
    EXPECT_FALSE(lad_->Edit().Selection().active);
    EXPECT_EQ(marked(), 0);
    EXPECT_FALSE(Enabled("MmCut"));
    // A drag inside: the pressed cell and the one under the mouse show marked.
    lad_->verticalScrollBar()->setValue(0);
    QWidget* vp = lad_->viewport();
    auto drag = [&](QEvent::Type type, QPoint at) {
        QMouseEvent e(type, QPointF(at), QPointF(vp->mapToGlobal(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &e);
    };
    const QPoint from(gCellWidth + gCellWidth / 2, gCellHeight / 2), to(3 * gCellWidth + gCellWidth / 2, gCellHeight + 5);
    drag(QEvent::MouseButtonPress, from);
    drag(QEvent::MouseMove, to);
    drag(QEvent::MouseButtonRelease, to);
    ASSERT_EQ(lad_->Edit().Selection().endRow, 1);
    const QImage shot = lad_->viewport()->grab().toImage();
    for (const QPoint& cell : {from, to})
        EXPECT_EQ(shot.pixelColor(cell.x() / gCellWidth * gCellWidth + 4, cell.y() / gCellHeight * gCellHeight + 4),
                  TLadderPaintOptions{}.selectionColor)
            << cell.x() << "," << cell.y();
    QTest::keyClick(lad_, Qt::Key_Right);
    // A drag leaving the bottom: one row per tick of the 75 ms timer.
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(gCellWidth + 5, 5));
    QMouseEvent out(QEvent::MouseMove, QPointF(gCellWidth + 5, vp->height() + 20), QPointF(), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &out);
    EXPECT_TRUE(lad_->BkSelTmr->isActive());
    EXPECT_EQ(lad_->BkSelTmr->interval(), 75);
    const int top = lad_->verticalScrollBar()->value();
    lad_->BkSelTmrTimer();
    lad_->BkSelTmrTimer();
    EXPECT_EQ(lad_->verticalScrollBar()->value(), top + 2 * gCellHeight);
    const std::int32_t end = lad_->Edit().Selection().endRow;
    EXPECT_GE(end, (vp->height() + gCellHeight) / gCellHeight);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(gCellWidth + 5, 5));
    EXPECT_FALSE(lad_->BkSelTmr->isActive());
    EXPECT_TRUE(Enabled("MmCut"));
    // Delete clears the marked rows in one undo step.
    QTest::keyClick(lad_, Qt::Key_Delete);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::non_inst);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, end + 1, 0)), TLdbKind::Open_Ry);
    frame_->RunCommand("MmUndo");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Open_Ry);
}

TEST_F(LadderEditCommandsTest, RowCommandsKeepLabelsAndRungCommentsOnTheirRows) {
    Rung(lad_, 0, "X0", "Y0");
    Rung(lad_, 3, "X1", "Y1");
    gPLabelRows[0] = 3;
    gQel.RungComments.assign(5, "");
    gQel.RungComments[3] = "motor";
    lad_->Edit().SetCursor(0, 0);
    EXPECT_TRUE(Enabled("MmInsLine"));
    QTest::keyClick(lad_, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(gPLabelRows[0], 4);
    EXPECT_EQ(gQel.RungComments[4], "motor");
    EXPECT_EQ(CellOperandText(gLadderRows, 4, 0), "X1");
    // Undo gives the comments back with the rows.
    frame_->RunCommand("MmUndo");
    EXPECT_EQ(gPLabelRows[0], 3);
    EXPECT_EQ(gQel.RungComments[3], "motor");
    // Device comments: the contact lists its device, an empty cell gives message 40.
    lad_->Edit().SetCursor(5, 0);
    QTest::keyClick(lad_, Qt::Key_F2, Qt::ControlModifier);
    EXPECT_TRUE(Shown(40));
    // The window's own keys are not the frame's while it is active.
    EXPECT_TRUE(lad_->Link->OwnsKey(QKeyCombination(Qt::NoModifier, Qt::Key_F1)));
    EXPECT_TRUE(lad_->Link->OwnsKey(QKeyCombination(Qt::ControlModifier, Qt::Key_Y)));
    frame_->SetActiveView(2);
    EXPECT_TRUE(frame_->Action("MmRedo")->shortcut().isEmpty());
}

// Every item the popup shows, run through the item at a cursor: what its
// command did (the element delete is Ctrl+Del, hidden in the popup).
TEST_F(LadderEditCommandsTest, EveryPopupItemRunsItsCommand) {
    InstallTools(frame_.get());  // the comment windows, as the program starts them
    Rung(lad_, 0, "X0", "Y0");
    Rung(lad_, 1, "X1", "Y1");
    auto pop = [this](const char* item, std::int32_t row, std::int32_t col) {
        lad_->Edit().SetCursor(row, col);
        lad_->SwitchPopupMode();
        auto* a = lad_->LDBPopup->findChild<QAction*>(item);
        ASSERT_TRUE(a && a->isEnabled()) << item;
        a->trigger();
    };
    auto kind = [](int row, int col) { return CellKind(CellAt(gLadderRows, row, col)); };
    auto text = [](int row, int col) { return CellOperandText(gLadderRows, row, col); };
    pop("PopSelAll", 0, 0);
    EXPECT_TRUE(lad_->Edit().Selection().active);
    pop("PopCopy", 0, 0);
    EXPECT_TRUE(lad_->ClipboardBlock().has_value());
    pop("PopDel", 0, 0);
    EXPECT_EQ(kind(1, 0), TLdbKind::non_inst);
    pop("PopUndo", 0, 0);
    EXPECT_EQ(text(1, 0), "X1");
    pop("PopRedo", 0, 0);
    EXPECT_EQ(kind(1, 0), TLdbKind::non_inst);
    pop("PopUndo", 0, 0);
    pop("PopPaste", 3, 0);
    EXPECT_EQ(text(4, 0), "X1");
    pop("PopInsBk", 3, 0);  // two rows in front of the pasted ones
    EXPECT_EQ(text(4, 0), "X1");
    EXPECT_EQ(text(6, 0), "X1");
    pop("PopInsLine", 0, 0);
    EXPECT_EQ(text(1, 0), "X0");
    pop("PopDelLine", 0, 0);
    EXPECT_EQ(text(0, 0), "X0");
    pop("PopSelAll", 0, 0);
    pop("PopCut", 0, 0);
    EXPECT_EQ(lad_->Edit().LastRow(), -1);
    pop("PopUndo", 0, 0);
    EXPECT_EQ(text(0, 0), "X0");
    lad_->Edit().SetCursor(0, 10);
    QTest::keyClick(lad_, Qt::Key_F9);
    ASSERT_TRUE(CellLinksDown(CellAt(gLadderRows, 0, 10)));
    pop("PopDelVline", 0, 10);
    EXPECT_FALSE(CellLinksDown(CellAt(gLadderRows, 0, 10)));
    pop("PopBkCmt", 10, 0);
    EXPECT_TRUE(_EditDlg->isVisible());
    EXPECT_EQ(gActiveView, 3);
    _EditDlg->CancelBtnClick();
    // The two comment windows are modal: read and closed once they are up.
    auto whileShown = [&](const char* item, std::int32_t row, const std::function<void()>& read) {
        QTimer t;
        t.setSingleShot(true);
        QObject::connect(&t, &QTimer::timeout, read);
        t.start(0);
        pop(item, row, 0);
    };
    std::string listed;
    whileShown("PopDevCmt", 1, [&] {
        listed = _CommentDlg->DeviceListBox->item(0)->text().toStdString();
        _CommentDlg->reject();
    });
    EXPECT_EQ(listed, "X1");
    int shownRow = -1;
    whileShown("PopLineCmt", 2, [&] {
        const auto rows = _OutCmt->LineCmt->selectedItems();
        shownRow = rows.isEmpty() ? -2 : rows.front()->row();
        _OutCmt->reject();
    });
    EXPECT_EQ(shownRow, 2);
}
