// Blocks, rows and undo snapshots of the ladder model: the clipboard block as
// bytes (geometry, round trip, validation of whatever lies under our format),
// paste rules with their all-or-nothing refusals, rows inserted and deleted
// with their labels, rung comments and step marks, and snapshots giving back
// the exact state. Logic only, also under the sanitizers.
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "tests/ladder/edit/LadderRig.h"

using qel::test::LadderRig;
using qel::test::Ok;
using Lines = std::vector<std::string>;

namespace {

void Refused(LadderRig& rig, const TLadderEditResult& r, const std::vector<std::uint8_t>& before, int message) {
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(rig.State(), before);
}

// X0 -| |- X1 -| |- ... ( Y0 ) on row r.
void Rung(LadderRig& rig, std::int32_t r, const std::string& a, const std::string& b, const std::string& coil) {
    rig.edit.SetCursor(r, 0);
    Ok(rig.Type("LD " + a));
    rig.edit.SetCursor(r, 5);
    Ok(rig.Type("AND " + b));
    rig.edit.SetCursor(r, 10);
    Ok(rig.Type("OUT " + coil));
}

// A rig whose document also carries rung comments and step marks.
struct CommentedRig : LadderRig {
    explicit CommentedRig(std::int32_t rows) : LadderRig(rows) {
        TLadderDoc d = edit.Doc();
        d.rowComments = &comments;
        d.marks = &marks;
        edit.SetDoc(d);
    }
    std::vector<std::string> comments;
    std::vector<TStepMark> marks;
};

}  // namespace

TEST(LadderBlock, GeometryOfTheMarkedStream) {
    LadderRig rig;
    Rung(rig, 0, "X0", "X1", "Y0");
    // Select all on a grid whose last used row is 0: one 60-byte row.
    rig.edit.SelectAll();
    TLadderBlock b = rig.edit.CopyBlock();
    EXPECT_FALSE(b.multiRow);
    EXPECT_EQ(b.firstLength, 60);
    EXPECT_EQ(b.lastLength, 0);
    // A two-row block from column 20 to an end column of 15: 40 + 15 bytes, last offset 40.
    TLadderSelection s{true, 3, 20, 4, 15};
    b = CopyLadderBlock(rig.grid.data(), s);
    EXPECT_EQ(b.firstLength, 40);
    EXPECT_EQ(b.middleRows, 0);
    EXPECT_EQ(b.lastLength, 15);
    std::vector<std::uint8_t> clip = EncodeLadderBlock(b);
    ASSERT_EQ(clip.size(), 32u + 55u);
    EXPECT_EQ(clip[0], 87);
    EXPECT_EQ(clip[24], 40);  // last offset
    // Three or more rows ending at column 60: the end row is a middle row.
    s = {true, 1, 10, 4, 60};
    b = CopyLadderBlock(rig.grid.data(), s);
    EXPECT_EQ(b.middleRows, 3);
    EXPECT_EQ(b.lastLength, 0);
    EXPECT_TRUE(b.multiRow);
    TLadderBlock back;
    ASSERT_TRUE(DecodeLadderBlock(EncodeLadderBlock(b).data(), EncodeLadderBlock(b).size(), 100, back));
    EXPECT_EQ(back.bytes, b.bytes);
    EXPECT_EQ(back.middleRows, 3);
    EXPECT_TRUE(back.multiRow);
    // Select all on an empty grid marks nothing.
    LadderRig empty;
    empty.edit.SelectAll();
    EXPECT_FALSE(empty.edit.Selection().active);
    EXPECT_TRUE(EncodeLadderBlock(empty.edit.CopyBlock()).empty());
}

TEST(LadderBlock, UnsoundClipboardDataIsRefusedWhole) {
    LadderRig rig;
    Rung(rig, 0, "X0", "X1", "Y0");
    rig.edit.SetCursor(1, 0);
    Ok(rig.Type("MOV K5 D0"));
    rig.edit.SelectAll();
    const std::vector<std::uint8_t> good = EncodeLadderBlock(rig.edit.CopyBlock());
    TLadderBlock b;
    ASSERT_TRUE(DecodeLadderBlock(good.data(), good.size(), 100, b));
    auto bad = [&](auto change) {
        std::vector<std::uint8_t> c = good;
        change(c);
        TLadderBlock out;
        return !DecodeLadderBlock(c.data(), c.size(), 100, out) && out.bytes.empty();
    };
    EXPECT_TRUE(bad([](auto& c) { c.pop_back(); }));                    // shorter than its total
    EXPECT_TRUE(bad([](auto& c) { c[0] = 200; }));                      // total disagrees with the lengths
    EXPECT_TRUE(bad([](auto& c) { c[4] = 0xFF; c[7] = 0x7F; }));         // absurd middle rows
    EXPECT_TRUE(bad([](auto& c) { c[12] = 61; }));                      // first part past a row
    EXPECT_TRUE(bad([](auto& c) { c[32 + 1] = 0xF2; }));                // cell kind 15
    EXPECT_TRUE(bad([](auto& c) { c[32 + 1] = (8 << 4); }));            // a token without its box
    EXPECT_TRUE(bad([](auto& c) { c[32 + 5] = 0x10; }));                // a row flag inside a row
    EXPECT_TRUE(bad([](auto& c) { c[16] = 7; }));                       // offsets that do not follow
    // Not even a header.
    TLadderBlock out;
    EXPECT_FALSE(DecodeLadderBlock(good.data(), 31, 100, out));
    EXPECT_FALSE(DecodeLadderBlock(nullptr, 0, 100, out));
    // Too many rows for the grid pasted into (the block covers two).
    EXPECT_FALSE(DecodeLadderBlock(good.data(), good.size(), 1, out));
    EXPECT_TRUE(DecodeLadderBlock(good.data(), good.size(), 2, out));
}

TEST(LadderBlock, RandomBytesUnderOurFormatNeverReachTheGrid) {
    // Random and mutated clipboards: either refused by the reader, or a block
    // the paste writes whole or refuses leaving every byte as it was.
    LadderRig rig(40);
    Rung(rig, 0, "X0", "X1", "Y0");
    rig.edit.SetCursor(1, 0);
    Ok(rig.Type("DMOV K100000 D10"));
    rig.edit.SelectAll();
    const std::vector<std::uint8_t> good = EncodeLadderBlock(rig.edit.CopyBlock());
    std::mt19937 rnd(1234);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> c;
        if (round % 2 == 0) {
            c = good;
            const int flips = 1 + static_cast<int>(rnd() % 4);
            for (int k = 0; k < flips; ++k) c[rnd() % c.size()] = static_cast<std::uint8_t>(rnd());
        } else {
            c.resize(rnd() % 200);
            for (auto& byte : c) byte = static_cast<std::uint8_t>(rnd());
            if (c.size() >= 32) {  // a plausible header over random cells
                c[0] = static_cast<std::uint8_t>(c.size());
                std::memset(c.data() + 1, 0, 11);
                c[12] = static_cast<std::uint8_t>(c.size() - 32);
                std::memset(c.data() + 13, 0, 19);
            }
        }
        TLadderBlock b;
        if (!DecodeLadderBlock(c.data(), c.size(), 40, b)) continue;
        ++accepted;
        LadderRig target(12);
        Rung(target, 0, "X2", "X3", "Y2");
        target.edit.SetCursor(static_cast<std::int32_t>(rnd() % 12), static_cast<std::int32_t>(rnd() % 12) * 5);
        const auto before = target.State();
        const TLadderEditResult r = target.edit.PasteBlock(b);
        if (!r.changed) { EXPECT_EQ(target.State(), before); }
        ASSERT_LT(target.edit.LastRow(), 12);
    }
    EXPECT_GT(accepted, 0);
}

TEST(LadderBlock, PasteSplitsAtTheOutputAndRefusesWhatDoesNotFit) {
    LadderRig rig;
    Rung(rig, 0, "X0", "X1", "Y0");
    // Two contacts and a coil as a one-row block.
    TLadderBlock rung;
    rung.firstLength = 15;
    rung.bytes.assign(rig.Cell(0, 0), rig.Cell(0, 10));
    for (int c = 55; c < 60; ++c) rung.bytes.push_back(*rig.Cell(0, c));
    rig.edit.SetCursor(2, 10);
    Ok(rig.edit.PasteBlock(rung));
    EXPECT_EQ(CellKind(rig.Cell(2, 10)), TLdbKind::Open_Ry);
    EXPECT_EQ(CellKind(rig.Cell(2, 15)), TLdbKind::Open_Ry);
    for (int c = 20; c <= 50; c += 5) EXPECT_EQ(CellKind(rig.Cell(2, c)), TLdbKind::H_Line) << c;
    EXPECT_EQ(CellKind(rig.Cell(2, 55)), TLdbKind::Out_Ry);
    EXPECT_FALSE(rig.edit.Selection().active);
    // Fifty bytes of contacts at column 10 reach the output column: refused.
    TLadderBlock wide;
    wide.firstLength = 50;
    wide.bytes.assign(50, 0);
    for (int c = 0; c < 50; c += 5) {
        SetCellKind(&wide.bytes[c], TLdbKind::Open_Ry);
        wide.bytes[c + 2] = CellDev::X;
    }
    rig.edit.SetCursor(4, 10);
    auto before = rig.State();
    Refused(rig, rig.edit.PasteBlock(wide), before, LadMsg::NoRoom);
    // The same block ending in a connector is taken.
    SetCellKind(&wide.bytes[45], TLdbKind::Re_Line);
    Ok(rig.edit.PasteBlock(wide));
    EXPECT_EQ(CellKind(rig.Cell(4, 55)), TLdbKind::Re_Line);
    // Rows past the grid: refused, nothing written (not even the first part).
    TLadderSelection s{true, 0, 0, 2, 60};
    const TLadderBlock three = CopyLadderBlock(rig.grid.data(), s);
    rig.edit.SetCursor(198, 0);
    before = rig.State();
    Refused(rig, rig.edit.PasteBlock(three), before, LadMsg::NoRoom);
    rig.edit.SetCursor(5, -5);
    Refused(rig, rig.edit.PasteBlock(three), before, LadMsg::PasteLabelColumn);
    // Pasted rows compile like the originals, also when the wire is part of the block.
    rig.edit.SetCursor(0, 0);
    rig.edit.SelectAll();
    LadderRig copy;
    copy.edit.SetCursor(0, 0);
    Ok(copy.edit.PasteBlock(CopyLadderBlock(rig.grid.data(), TLadderSelection{true, 0, 0, 0, 60})));
    EXPECT_EQ(copy.Compile(), (Lines{"LD X0", "AND X1", "OUT Y0"}));
}

TEST(LadderBlock, ShiftKeysAndDragsMarkWholeElements) {
    LadderRig rig;
    rig.edit.SetCursor(0, 0);
    Ok(rig.Type("LD X0"));
    rig.edit.SetCursor(0, 5);
    Ok(rig.Type("MOV K5 D0"));
    // From the contact, Shift+End: the contact, the wire and the whole box.
    rig.edit.SetCursor(0, 0);
    rig.edit.ClearSelection();
    rig.edit.ExtendSelection(TLadderEdit::SelectKey::End);
    const std::int32_t head = rig.edit.Col();
    EXPECT_EQ(CellKind(rig.Cell(0, head)), TLdbKind::Spec_Fun);
    EXPECT_EQ(rig.edit.Selection().endCol, 60);
    EXPECT_TRUE(rig.edit.Selection().Contains(0, 0));
    // A drag back onto a token of the box starts at the box's head.
    rig.edit.SetCursor(3, 20);
    rig.edit.ClearSelection();
    rig.edit.SelectTo(0, 55);
    EXPECT_EQ(rig.edit.Selection().startRow, 0);
    EXPECT_EQ(rig.edit.Selection().startCol, head);
    EXPECT_EQ(rig.edit.Selection().endRow, 3);
    EXPECT_EQ(rig.edit.Selection().endCol, 25);
    // Delete clears the block and only the block.
    rig.edit.SetCursor(0, 0);
    rig.edit.ClearSelection();
    rig.edit.SelectTo(0, 0);
    Ok(rig.edit.DeleteBlock());
    EXPECT_EQ(CellKind(rig.Cell(0, 0)), TLdbKind::non_inst);
    EXPECT_EQ(CellKind(rig.Cell(0, head)), TLdbKind::Spec_Fun);
}

TEST(LadderRows, LabelsCommentsAndMarksStayWithTheirRows) {
    CommentedRig rig(200);
    Rung(rig, 0, "X0", "X1", "Y0");
    Rung(rig, 3, "X2", "X3", "Y1");
    rig.p[0] = 3;
    rig.i[5] = 0;
    rig.comments = {"first", "", "", "third"};
    rig.marks = {{0, 0}, {3, 4}};
    // A row inserted at row 0: everything moves down one.
    rig.edit.SetCursor(0, 0);
    Ok(rig.edit.InsertRow());
    EXPECT_EQ(rig.p[0], 4);
    EXPECT_EQ(rig.i[5], 1);
    EXPECT_EQ(rig.comments, (Lines{"", "first", "", "", "third"}));
    EXPECT_EQ(rig.marks, (std::vector<TStepMark>{{1, 0}, {4, 4}}));
    EXPECT_EQ(CellKind(rig.Cell(4, 0)), TLdbKind::Open_Ry);
    EXPECT_EQ(rig.Compile(), (Lines{"I005", "LD X0", "AND X1", "OUT Y0", "P0", "LD X2", "AND X3", "OUT Y1"}));
    // Deleting the row that carries I5 frees I5; the rest moves up.
    rig.edit.SetCursor(1, 0);
    Ok(rig.edit.DeleteRow());
    EXPECT_EQ(rig.i[5], -1);
    EXPECT_EQ(rig.p[0], 3);
    EXPECT_EQ(rig.comments, (Lines{"", "", "", "third"}));
    EXPECT_EQ(rig.marks, (std::vector<TStepMark>{{3, 4}}));
    EXPECT_EQ(rig.Compile(), (Lines{"P0", "LD X2", "AND X3", "OUT Y1"}));
    // Deleting row 0 of a grid whose only used row is 0 leaves it empty.
    LadderRig one;
    Rung(one, 0, "X0", "X1", "Y0");
    one.edit.SetCursor(0, 0);
    Ok(one.edit.DeleteRow());
    EXPECT_EQ(one.edit.LastRow(), -1);
    // Insert block: a two-row block adds two rows, a one-row block one.
    rig.edit.SetCursor(3, 0);
    rig.edit.SelectTo(4, 55);
    const TLadderBlock two = rig.edit.CopyBlock();
    ASSERT_EQ(two.InsertRows(), 2);
    rig.edit.SetCursor(0, 0);
    Ok(rig.edit.InsertBlock(two));
    EXPECT_EQ(rig.p[0], 5);
    EXPECT_EQ(rig.comments[5], "third");
    EXPECT_EQ(CellKind(rig.Cell(0, 0)), TLdbKind::Open_Ry);
    EXPECT_EQ(rig.Compile(), (Lines{"LD X2", "AND X3", "OUT Y1", "P0", "LD X2", "AND X3", "OUT Y1"}));
}

TEST(LadderRows, FullGridRefusesToPushARowOffAndDeletesAtBothEnds) {
    const std::int32_t rows = 30;
    CommentedRig rig(rows);
    for (std::int32_t r = 0; r < rows; ++r) Rung(rig, r, "X" + std::to_string(r % 8), "M" + std::to_string(r), "Y0");
    rig.p[7] = 0;
    rig.p[8] = rows - 1;
    rig.comments.assign(rows, "");
    rig.comments[0] = "top";
    rig.comments[rows - 1] = "bottom";
    // Insert at the first and at the last row: refused, every byte as it was.
    for (std::int32_t at : {0, rows - 1}) {
        rig.edit.SetCursor(at, 0);
        const auto before = rig.State();
        const auto comments = rig.comments;
        Refused(rig, rig.edit.InsertRow(), before, LadMsg::NoRoom);
        EXPECT_EQ(rig.comments, comments);
        TLadderBlock one;
        one.firstLength = 5;
        one.bytes.assign(5, 0);
        SetCellKind(one.bytes.data(), TLdbKind::H_Line);
        Refused(rig, rig.edit.InsertBlock(one), before, LadMsg::NoRoom);
    }
    // Delete the last row: its label and comment go, the first row's stay.
    rig.edit.SetCursor(rows - 1, 0);
    Ok(rig.edit.DeleteRow());
    EXPECT_EQ(rig.p[8], -1);
    EXPECT_EQ(rig.p[7], 0);
    EXPECT_EQ(rig.comments[0], "top");
    EXPECT_EQ(rig.edit.LastRow(), rows - 2);
    // Delete the first row: the label of row 0 goes, row 1 becomes row 0.
    rig.edit.SetCursor(0, 0);
    Ok(rig.edit.DeleteRow());
    EXPECT_EQ(rig.p[7], -1);
    EXPECT_EQ(CellOperandText(rig.grid.data(), 0, 5), "M1");
    EXPECT_EQ(rig.comments[0], "");
    // Now two rows are free: a row goes in at the top again, the labels stay on their rows.
    rig.p[9] = 5;
    rig.edit.SetCursor(0, 0);
    Ok(rig.edit.InsertRow());
    EXPECT_EQ(rig.p[9], 6);
    EXPECT_EQ(CellOperandText(rig.grid.data(), 1, 5), "M1");
}

TEST(LadderUndo, SnapshotGivesBackRowsLabelsCursorCommentsAndMarks) {
    CommentedRig rig(100);
    const TLadderSnapshot empty = rig.edit.TakeSnapshot();
    EXPECT_TRUE(empty.rows.empty());
    Rung(rig, 0, "X0", "X1", "Y0");
    Rung(rig, 1, "X2", "X3", "Y1");
    rig.p[3] = 1;
    rig.comments = {"a", "b"};
    rig.marks = {{0, 0}, {1, 4}};
    rig.edit.SetCursor(1, 5);
    const TLadderSnapshot s = rig.edit.TakeSnapshot();
    const auto state = rig.State();
    // Delete every row, then give it back.
    rig.edit.SetCursor(0, 0);
    Ok(rig.edit.DeleteRow());
    Ok(rig.edit.DeleteRow());
    EXPECT_EQ(rig.edit.LastRow(), -1);
    rig.edit.RestoreSnapshot(s);
    EXPECT_EQ(rig.State(), state);
    EXPECT_EQ(rig.comments, (Lines{"a", "b"}));
    EXPECT_EQ(rig.marks.size(), 2u);
    EXPECT_EQ(rig.edit.Row(), 1);
    EXPECT_EQ(rig.edit.Col(), 5);
    // An empty-grid snapshot leaves the grid all zero.
    rig.edit.RestoreSnapshot(empty);
    EXPECT_EQ(rig.edit.LastRow(), -1);
    EXPECT_TRUE(std::all_of(rig.grid.begin(), rig.grid.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(LadderRows, DevicesOfTheCursorElement) {
    LadderRig rig;
    rig.edit.SetCursor(0, 0);
    Ok(rig.Type("LD X17"));
    rig.edit.SetCursor(0, 5);
    Ok(rig.Type("MOV K5 D7"));
    rig.p[12] = 0;
    using Devices = std::vector<std::pair<char, std::int32_t>>;
    rig.edit.SetCursor(0, 0);
    EXPECT_EQ(rig.edit.CursorDevices(), (Devices{{'X', 15}}));  // X17 is octal
    rig.edit.SetCursor(0, 55);  // a token: the box's head
    EXPECT_EQ(rig.edit.CursorDevices(), (Devices{{'D', 7}}));    // K5 has no comment
    rig.edit.SetCursor(0, -5);
    EXPECT_EQ(rig.edit.CursorDevices(), (Devices{{'P', 12}}));
    rig.edit.SetCursor(3, 0);
    EXPECT_TRUE(rig.edit.CursorDevices().empty());
}

// The list of what stands beside a block's whole rows goes through the
// clipboard as it was; a list that does not fit its block is not taken.
TEST(LadderBlock, BesideListComesBackOnlyWhenItFitsItsBlock) {
    TLadderBlock block;
    block.multiRow = true;
    block.firstLength = 60;
    block.middleRows = 1;
    block.lastLength = 60;
    block.bytes.assign(180, 0);
    block.beside = {{0, 3, -1, "Fan"}, {2, -1, 899, ""}};
    const std::vector<std::uint8_t> bytes = EncodeBlockBeside(block);
    TLadderBlock back = block;
    back.beside.clear();
    ASSERT_TRUE(DecodeBlockBeside(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.beside, block.beside);

    const auto refused = [&](const std::vector<TBlockRowBeside>& list, std::size_t cut = 0, bool extra = false) {
        TLadderBlock b = block;
        b.beside = list;
        std::vector<std::uint8_t> raw = EncodeBlockBeside(b);
        raw.resize(raw.size() - cut);
        if (extra) raw.push_back(0);
        TLadderBlock out = block;
        out.beside = {{1, 7, -1, "kept"}};
        const bool taken = DecodeBlockBeside(raw.data(), raw.size(), out);
        EXPECT_EQ(out.beside, (std::vector<TBlockRowBeside>{{1, 7, -1, "kept"}}));
        return !taken;
    };
    EXPECT_TRUE(refused({{3, 1, -1, ""}}));                      // past the block's three rows
    EXPECT_TRUE(refused({{1, -1, -1, ""}, {0, -1, -1, ""}}));    // out of row order
    EXPECT_TRUE(refused({{0, 256, -1, ""}}));                    // no such pointer label
    EXPECT_TRUE(refused({{0, -1, 900, ""}}));                    // no such interrupt label
    EXPECT_TRUE(refused({{0, -1, -1, "Fan"}}, 1));               // cut short
    EXPECT_TRUE(refused({{0, -1, -1, "Fan"}}, 0, true));         // a byte too many
}

// Cut takes the labels and comments of the rows it holds whole (not of a row
// it holds a part of); paste puts them beside the rows it writes. A label
// whose row already carries one of its kind is named, not lost silently; a
// ladder without comments (a step's) takes the block without them and says so.
TEST(LadderRows, CutAndPasteCarryWhatStandsBesideWholeRows) {
    CommentedRig rig(200);
    Rung(rig, 0, "X0", "X1", "Y0");
    Rung(rig, 1, "X2", "X3", "Y1");
    rig.p[0] = 0;
    rig.p[1] = 1;
    rig.comments = {"first", "second"};
    rig.edit.SetCursor(0, 0);
    rig.edit.SelectTo(1, 0);  // row 0 whole, the first contact of row 1
    const TLadderBlock block = rig.edit.CopyBlock();
    ASSERT_EQ(block.beside, (std::vector<TBlockRowBeside>{{0, 0, -1, "first"}}));
    Ok(rig.edit.CutBlock());
    EXPECT_EQ(rig.p[0], -1);
    EXPECT_EQ(rig.p[1], 1);
    EXPECT_EQ(rig.comments, (Lines{"", "second"}));

    rig.edit.SetCursor(5, 0);
    Ok(rig.edit.PasteBlock(block));
    EXPECT_EQ(rig.p[0], 5);
    EXPECT_EQ(rig.p[1], 1);
    ASSERT_GE(rig.comments.size(), 6u);
    EXPECT_EQ(rig.comments[5], "first");
    EXPECT_TRUE(rig.comments.size() == 6 || rig.comments[6].empty());  // row 6 took a part only

    // Pasted again beside a row that carries P1: P0 stays where it stands.
    rig.edit.SetCursor(1, 0);
    rig.p[0] = -1;
    const TLadderEditResult r = rig.edit.PasteBlock(block);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.message, LadMsg::LabelNotPlaced);
    EXPECT_EQ(r.detail, " P0");
    EXPECT_EQ(rig.p[1], 1);
    EXPECT_EQ(rig.p[0], -1);

    // A step's ladder: the block-comment row is left out, as is the comment.
    LadderRig step;
    TLadderDoc d = step.edit.Doc();
    d.program = false;
    step.edit.SetDoc(d);
    TLadderBlock withComment = block;
    withComment.bytes.assign(60, 0);
    withComment.multiRow = false;
    withComment.firstLength = 60;
    withComment.middleRows = withComment.lastLength = 0;
    SetBlockCommentRow(withComment.bytes.data(), "Pump");
    const TLadderEditResult s = step.edit.PasteBlock(withComment);
    EXPECT_EQ(s.message, LadMsg::BesideLeftOut);
    EXPECT_EQ(s.detail, " 2");
    EXPECT_FALSE(IsBlockCommentRow(step.Cell(0, 0)));
    EXPECT_EQ(step.p[0], 0);  // the label goes in all the same
}

// A folded rung joined onto one row (Delete on its connector) keeps the rung
// comment and the label of the row it gives up, beside its own row; the rung
// below, moving up, gets neither.
TEST(LadderRows, AJoinedRungKeepsTheCommentAndLabelOfTheRowItGivesUp) {
    CommentedRig rig(200);
    rig.edit.insertMode = false;
    Ok(rig.Type("LD X0"));
    for (int k = 1; k < 11; ++k) Ok(rig.edit.Place(TLadderClass::HLine));
    Ok(rig.Type("LD X1"));  // on the row's last cell: the rung goes on in row 1
    Ok(rig.Type("OUT Y0"));
    ASSERT_EQ(CellKind(rig.Cell(1, 0)), TLdbKind::Re_Line);
    Rung(rig, 2, "X20", "X21", "Y20");
    rig.comments = {"", "Valve", ""};
    rig.p[4] = 1;
    rig.edit.SetCursor(0, 55);
    Ok(rig.edit.DeleteElement());
    ASSERT_EQ(rig.edit.LastRow(), 1);
    EXPECT_EQ(CellOperandText(rig.grid.data(), 1, 0), "X20");
    EXPECT_EQ(rig.comments.size() > 1 ? rig.comments[1] : "", "");
    EXPECT_EQ(rig.comments[0], "Valve");
    EXPECT_EQ(rig.p[4], 0);
}

// A block pasted over the very cells, labels and comment it was copied from
// changes nothing: no undo step is taken and the ladder is not edited. A
// comment that differs is a change, even where the cells are the same.
TEST(LadderRows, APasteThatChangesNothingTakesNoUndoStep) {
    CommentedRig rig(200);
    Rung(rig, 0, "X0", "X1", "Y0");
    rig.p[0] = 0;
    rig.comments = {"first"};
    rig.edit.SetCursor(0, 0);
    rig.edit.SelectTo(0, 59);
    const TLadderBlock block = rig.edit.CopyBlock();
    ASSERT_EQ(block.beside, (std::vector<TBlockRowBeside>{{0, 0, -1, "first"}}));
    int steps = 0;
    rig.edit.BeforeChange = [&] { ++steps; };
    rig.edit.SetCursor(0, 0);
    const std::vector<std::uint8_t> before = rig.State();
    const TLadderEditResult same = rig.edit.PasteBlock(block);
    EXPECT_FALSE(same.changed);
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(rig.State(), before);

    rig.comments = {"edited"};
    rig.edit.SetCursor(0, 0);
    Ok(rig.edit.PasteBlock(block));
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(rig.comments[0], "first");
}
