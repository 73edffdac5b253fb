// Elements typed into the ladder at the cursor, as the one-line input and the
// element buttons place them, checked through the compile of the grid.
#include <algorithm>

#include <gtest/gtest.h>

#include "ladder/edit/Laddertexts.h"
#include "tests/ladder/edit/LadderRig.h"

using qel::test::LadderRig;
using qel::test::Ok;
using Lines = std::vector<std::string>;

TEST(LadderEdit, ACoilTypedOnTheNewContactInInsertModeKeepsIt) {
    LadderRig rig;
    Ok(rig.Type("LD X0"));
    Ok(rig.Type("AND X1"));
    rig.edit.SetCursor(0, 0);
    // The cursor stands on the first contact: the coil goes behind both.
    Ok(rig.Type("OUT Y0"));
    EXPECT_EQ(rig.Compile(), (Lines{"LD X1", "AND X0", "OUT Y0"}));
    // Another output behind the cursor stays: refused. Typed on the coil, it replaces it.
    rig.edit.SetCursor(0, 5);
    const auto before = rig.State();
    EXPECT_EQ(rig.Type("MOV K1 D0").message, LadMsg::NoRoom);
    EXPECT_EQ(rig.State(), before);
    rig.edit.SetCursor(0, 55);
    Ok(rig.Type("OUT Y2"));
    EXPECT_EQ(rig.Compile(), (Lines{"LD X1", "AND X0", "OUT Y2"}));
    // In overwrite mode the coil's wire replaces what lies from the cursor on.
    rig.edit.insertMode = false;
    rig.edit.SetCursor(0, 5);
    Ok(rig.Type("OUT Y1"));
    EXPECT_EQ(rig.Compile(), (Lines{"LD X1", "OUT Y1"}));
}

TEST(LadderEdit, TimerAndCompareBoxes) {
    LadderRig rig;
    Ok(rig.Type("LD>= D0 K5"));
    EXPECT_EQ(CellKind(rig.Cell(0, 0)), TLdbKind::Comp_Ry);
    EXPECT_EQ(rig.edit.CellSpan(0, 0), 3);
    rig.edit.Right();  // jumps the whole compare
    EXPECT_EQ(rig.edit.Col(), 15);
    Ok(rig.Type("TMR T0 K10"));
    const std::int32_t head = 60 - rig.edit.CellSpan(0, 45) * 5;
    EXPECT_EQ(CellKind(rig.Cell(0, head)), TLdbKind::Spec_Fun);
    // An AND compare typed in the middle of a rung is the same cell.
    rig.edit.SetCursor(1, 0);
    Ok(rig.Type("LD X1"));
    rig.edit.Right();
    Ok(rig.Type("DAND< D10 K100000"));
    EXPECT_EQ(rig.edit.CellSpan(1, 5), 5);
    EXPECT_EQ(CellOperandText(rig.grid.data(), 1, 20), "K100000");
    rig.edit.SetCursor(1, 30);
    Ok(rig.Type("OUT Y1"));
    EXPECT_EQ(rig.Compile(), (Lines{"LD>= D0 K5", "TMR T0 K10", "LD X1", "DAND< D10 K100000", "OUT Y1"}));
}

TEST(LadderEdit, BoxThatDoesNotFitWrapsThroughAConnectorPair) {
    LadderRig rig;
    rig.edit.insertMode = false;  // overwrite: the cursor steps past each contact
    for (int k = 0; k < 10; ++k) Ok(rig.Type("LD M" + std::to_string(k)));
    ASSERT_EQ(rig.edit.Col(), 50);
    Ok(rig.Type("MOV K1 D0"));
    EXPECT_EQ(CellKind(rig.Cell(0, 55)), TLdbKind::Re_Line);
    EXPECT_EQ(CellKind(rig.Cell(1, 0)), TLdbKind::Re_Line);
    EXPECT_EQ(CellOperand(rig.Cell(0, 55)), CellOperand(rig.Cell(1, 0)));
    EXPECT_EQ(CellKind(rig.Cell(1, 5)), TLdbKind::H_Line);
    EXPECT_EQ(CellKind(rig.Cell(1, 45)), TLdbKind::Spec_Fun);
    Lines want{"LD M0"};
    for (int k = 1; k < 10; ++k) want.push_back("AND M" + std::to_string(k));
    want.push_back("MOV K1 D0");
    EXPECT_EQ(rig.Compile(), want);
    // Inserting into the folded rung: first into its last free wire, then it
    // is joined at its connectors, grows and folds again.
    rig.edit.insertMode = true;
    rig.edit.SetCursor(0, 0);
    Ok(rig.Type("LD X1"));
    Ok(rig.Type("LDI X2"));
    Ok(rig.Type("LDP X3"));
    want[0] = "AND M0";
    want.insert(want.begin(), {"LDP X3", "ANI X2", "AND X1"});
    EXPECT_EQ(rig.Compile(), want);
    // And from its continuation row: in front of the contact there.
    rig.edit.SetCursor(rig.edit.LastRow(), 5);
    const std::string there = "AND " + CellOperandText(rig.grid.data(), rig.edit.Row(), 5);
    Ok(rig.Type("AND X4"));
    want.insert(std::find(want.begin(), want.end(), there), "AND X4");
    EXPECT_EQ(rig.Compile(), want);
}

TEST(LadderEdit, RefusalsChangeNothing) {
    LadderRig rig(2);  // two rows: no room to grow
    rig.edit.insertMode = false;
    for (int k = 0; k < 10; ++k) rig.Type("LD M" + std::to_string(k));
    // The next network starts right below: the box can neither fit nor wrap.
    rig.edit.SetCursor(1, 0);
    rig.Type("LD X20");
    rig.edit.SetCursor(1, 5);
    rig.Type("OUT Y1");
    rig.edit.SetCursor(0, 50);
    const auto before = rig.State();
    int snapshots = 0;
    rig.edit.BeforeChange = [&] { ++snapshots; };
    EXPECT_EQ(rig.Type("MOV K1 D0").message, LadMsg::BoxDoesNotFit);
    EXPECT_EQ(rig.Type("LD Q0").message, LadMsg::Invalid);       // no such device
    EXPECT_EQ(rig.Type("LD X0 X1").message, LadMsg::Invalid);    // a token too many
    EXPECT_EQ(rig.Type("ANB").message, LadMsg::NotPlaceable);    // drawn by lines, not typed
    EXPECT_EQ(rig.Type("P1").message, LadMsg::LabelColumnOnly);
    EXPECT_EQ(rig.edit.Place(TLadderClass::Coil, "OUT X0").message, LadMsg::Invalid);
    rig.edit.SetCursor(0, 0);
    EXPECT_EQ(rig.edit.Place(TLadderClass::VLine).message, LadMsg::NotHere);  // on the rail
    rig.edit.SetCursor(1, 10);
    EXPECT_EQ(rig.edit.Place(TLadderClass::VLine).message, LadMsg::NotHere);  // nothing below the grid's last row
    rig.edit.insertMode = true;
    rig.edit.SetCursor(0, 20);
    EXPECT_EQ(rig.Type("LD>= D0 K1").message, LadMsg::NoRoom);  // no wire left before the output
    EXPECT_EQ(rig.State(), before);
    EXPECT_EQ(snapshots, 0);  // no undo step for a refusal
}

TEST(LadderEdit, InsertIntoAFullRowWidensAndFoldsTheNetwork) {
    LadderRig rig;
    rig.edit.insertMode = false;
    for (int k = 0; k < 10; ++k) Ok(rig.Type("LD M" + std::to_string(k)));
    Ok(rig.Type("OUT Y0"));
    Ok(rig.Type("LD X1"));
    Ok(rig.Type("OUT Y1"));
    rig.edit.SetCursor(1, -5);
    Ok(rig.Type("P7"));
    rig.edit.insertMode = true;
    rig.edit.SetCursor(0, 0);
    Ok(rig.Type("LD X7"));  // takes the last free wire before the coil
    Ok(rig.Type("LDI X6"));  // no wire left: the rung folds onto a second row
    EXPECT_EQ(rig.edit.Row(), 0);
    EXPECT_EQ(rig.edit.Col(), 0);
    EXPECT_EQ(CellKind(rig.Cell(0, 55)), TLdbKind::Re_Line);
    EXPECT_EQ(rig.p[7], 2);  // the next network moved down a row, its label with it
    Lines want{"LDI X6", "AND X7"};
    for (int k = 0; k < 10; ++k) want.push_back("AND M" + std::to_string(k));
    for (const char* line : {"OUT Y0", "P7", "LD X1", "OUT Y1"}) want.push_back(line);
    EXPECT_EQ(rig.Compile(), want);
    // A compare that runs past the row's end in insert mode grows the network too.
    rig.edit.SetCursor(2, 5);
    Ok(rig.Type("AND= D0 K1"));
    EXPECT_EQ(rig.Compile().at(15), "AND= D0 K1");
}

TEST(LadderEdit, InsertPushesTheRungRightOverwriteReplaces) {
    LadderRig rig;
    rig.edit.insertMode = false;
    Ok(rig.Type("LD X0"));
    Ok(rig.Type("AND X1"));
    Ok(rig.Type("OUT Y0"));
    rig.edit.insertMode = true;
    rig.edit.SetCursor(0, 0);
    Ok(rig.Type("LDI X2"));
    EXPECT_EQ(rig.Compile(), (Lines{"LDI X2", "AND X0", "AND X1", "OUT Y0"}));
    rig.edit.insertMode = false;
    rig.edit.SetCursor(0, 5);
    Ok(rig.Type("LDF X3"));
    EXPECT_EQ(rig.edit.Col(), 10);
    EXPECT_EQ(rig.Compile(), (Lines{"LDI X2", "ANDF X3", "AND X1", "OUT Y0"}));
    // Inserting on the coil puts the contact just before it.
    rig.edit.insertMode = true;
    rig.edit.SetCursor(0, 55);
    Ok(rig.Type("ANI X4"));
    EXPECT_EQ(rig.edit.Col(), 50);
    EXPECT_EQ(rig.Compile(), (Lines{"LDI X2", "ANDF X3", "AND X1", "ANI X4", "OUT Y0"}));
    // Overwriting a 32-bit compare with a contact clears all five of its cells.
    rig.edit.SetCursor(1, 0);
    Ok(rig.Type("LD X0"));
    rig.edit.Right();
    Ok(rig.Type("DAND= D0 K1"));
    rig.edit.insertMode = false;
    rig.edit.SetCursor(1, 5);
    Ok(rig.Type("AND X5"));
    for (int col = 10; col < 30; col += 5) EXPECT_EQ(CellKind(rig.Cell(1, col)), TLdbKind::non_inst) << col;
}

TEST(LadderEdit, LabelsOnTheLabelColumn) {
    LadderRig rig;
    Ok(rig.Type("LD X0"));
    rig.edit.Right();
    Ok(rig.Type("OUT Y0"));
    rig.edit.SetCursor(0, -5);
    Ok(rig.Type("P3"));
    EXPECT_EQ(rig.p[3], 0);
    Ok(rig.Type("I001"));  // a row may also carry an interrupt label
    EXPECT_EQ(rig.i[1], 0);
    Ok(rig.Type("P4"));    // the row's P label is replaced
    EXPECT_EQ(rig.p[3], -1);
    EXPECT_EQ(rig.p[4], 0);
    EXPECT_EQ(RowLabelText(TLabelTables{rig.p.data(), rig.i.data()}, 0), "P4");
    rig.edit.SetCursor(5, -5);
    EXPECT_EQ(rig.Type("P4").message, LadMsg::LabelUsed);
    EXPECT_EQ(rig.Type("LD X1").message, LadMsg::NotHere);
    rig.edit.SetCursor(0, -5);
    Ok(rig.edit.DeleteElement());
    EXPECT_EQ(rig.p[4], -1);
    EXPECT_EQ(rig.i[1], -1);
}

TEST(LadderEdit, CursorMovesFollowTheElements) {
    LadderRig rig(50);
    rig.edit.SetPageRows(10);
    rig.Type("LD X0");
    rig.edit.Right();
    rig.Type("MOV K1 D0");  // box at 45..55
    rig.edit.SetCursor(0, 50);  // a token: the cursor takes its box
    EXPECT_EQ(rig.edit.Col(), 45);
    rig.edit.Right();  // past a box: the next row
    EXPECT_EQ(rig.edit.Row(), 1);
    EXPECT_EQ(rig.edit.Col(), 0);
    rig.edit.Left();
    EXPECT_EQ(rig.edit.Col(), -5);
    rig.edit.Left();  // from the label column to the previous row's output
    EXPECT_EQ(rig.edit.Row(), 0);
    EXPECT_EQ(rig.edit.Col(), 45);
    rig.edit.End();
    EXPECT_EQ(rig.edit.Col(), 45);
    rig.edit.Home();
    EXPECT_EQ(rig.edit.Col(), 0);
    rig.edit.SetCursor(0, -5);
    rig.edit.Left();  // row 0's label column: nowhere to go
    EXPECT_EQ(rig.edit.Row(), 0);
    EXPECT_EQ(rig.edit.Col(), -5);
    for (int k = 0; k < 100; ++k) rig.edit.PageDown();
    EXPECT_EQ(rig.edit.Row(), rig.edit.RowLimit());
    EXPECT_LE(rig.edit.RowLimit(), 49);
    rig.edit.PageUp();
    rig.edit.PageUp();
    EXPECT_EQ(rig.edit.Row(), 0);
    rig.edit.Up();
    EXPECT_EQ(rig.edit.Row(), 0);
}

TEST(LadderEdit, BlockCommentsOnlyOnEmptyRows) {
    LadderRig rig;
    rig.edit.SetCursor(2, 0);
    Ok(rig.edit.SetBlockComment("Pump control"));
    EXPECT_TRUE(IsBlockCommentRow(rig.Cell(2, 0)));
    EXPECT_EQ(rig.edit.Col(), 0);
    EXPECT_EQ(rig.Type("LD X0").message, LadMsg::NotHere);
    rig.edit.SetCursor(0, 0);
    rig.Type("LD X0");
    EXPECT_EQ(rig.edit.SetBlockComment("x").message, LadMsg::CommentRowBusy);
}

TEST(LadderTexts, OperandTextsAndCommentLines) {
    LadderRig rig;
    rig.edit.insertMode = false;
    rig.Type("LD X0");
    rig.Type("MOV HFF K4M0");
    EXPECT_EQ(CellOperandText(rig.grid.data(), 0, 50), "HFF");
    EXPECT_EQ(CellOperandText(rig.grid.data(), 0, 55), "K4M0");

    EXPECT_EQ(CommentLines("abcdefghij", 8, 4), (Lines{"abcdefgh", "ij"}));
    // Two units a character beyond ASCII, never split: 10 such make 4 + 4 + 2.
    const std::string ten = "一二三四五六七八九十";
    const Lines cut = CommentLines(ten, 8, 4);
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[0], "一二三四");
    EXPECT_EQ(cut[2], "九十");
    EXPECT_EQ(CommentLines("abcdefg" + ten, 8, 1), (Lines{"abcdefg"}));  // the cut moves before the character
    EXPECT_EQ(CommentLines(std::string(100, 'x'), 8, 4).size(), 4u);
}

// A search passes over the cells whose text cannot start as what it looks for
// by the first character it reads from the cell: that must be the text's first
// character in every form a text takes, and none where a cell shows no text.
TEST(LadderTexts, TheLeadOfACellIsTheFirstCharacterOfItsText) {
    LadderRig rig;
    rig.edit.insertMode = false;
    const Lines rungs[] = {
        {"LD X0", "MOV HFF K4M0"},      {"LD X1", "DMOV K-100000 D0E1"}, {"LD X2", "MOV K5E D1F"},
        {"LD X3", "MOV E F3"},          {"LD X4", "ASC text12 D3"},      {"LD>= D0 K5", "OUT Y1"},
        {"LDI M0", "DMOV H12345678 D4"}, {"LDP X5", "SET S20"},          {"LDF X6", "DCNT C200 K100000"},
    };
    std::int32_t row = 0;
    for (const Lines& rung : rungs) {
        rig.edit.SetCursor(row, 0);
        for (const std::string& line : rung) Ok(rig.Type(line));
        row = rig.edit.Row() + 1;
    }
    // A block comment whose bytes read as coils of Y devices shows no text.
    rig.edit.SetCursor(row, 0);
    Ok(rig.edit.SetBlockComment("1J   1J   1J   1J   1J   1J   1J   1J   1J   1J   1J   1J"));
    Lines texts;
    for (std::int32_t r = 0; r <= row; ++r)
        for (std::int32_t c = 0; c < kLdbRowBytes; c += kLdbCellBytes) {
            const std::string text = CellOperandText(rig.grid.data(), r, c);
            EXPECT_EQ(CellOperandLead(rig.grid.data(), r, c), text.empty() ? '\0' : text[0])
                << r << "," << c << " " << text;
            if (!text.empty()) texts.push_back(text);
        }
    for (const char* form : {"HFF", "K4M0", "K-100000", "D0E1", "K5E", "D1F", "E", "F3", "text12", "K5", "H12345678",
                             "S20", "K100000"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), form), texts.end()) << form;
    for (std::int32_t c = 0; c < kLdbRowBytes; c += kLdbCellBytes)
        EXPECT_EQ(CellOperandLead(rig.grid.data(), row, c), '\0') << c;
}
