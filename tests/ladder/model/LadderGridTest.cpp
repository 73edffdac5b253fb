#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ladder/model/Lad.h"
#include "ladder/model/LadderGrid.h"

namespace {

struct TGrid {
    explicit TGrid(int rows) : bytes(static_cast<std::size_t>(rows) * 60, 0), rows(rows) {}
    std::uint8_t* Cell(int r, int c) { return CellAt(bytes.data(), r, c); }
    void Put(int r, int c, TLdbKind k, std::uint8_t type = 0, std::uint16_t op = 0) {
        SetCellKind(Cell(r, c), k);
        SetCellDevType(Cell(r, c), type);
        SetCellOperand(Cell(r, c), op);
    }
    std::vector<std::uint8_t> bytes;
    int rows;
};

// The link rule over all sixteen Up/Down/Left/Self combinations.
TEST(LinkRule, EveryCombination) {
    const TLdbNode expected[16] = {
        TLdbNode::non_node, TLdbNode::hl,   TLdbNode::non_node, TLdbNode::hl,    // -- -- (L) (S)
        TLdbNode::non_node, TLdbNode::LU,   TLdbNode::RU,       TLdbNode::UhDv,  // D
        TLdbNode::vl,       TLdbNode::LD,   TLdbNode::RD,       TLdbNode::UvDh,  // U
        TLdbNode::vl,       TLdbNode::LvRh, TLdbNode::LhRv,     TLdbNode::Cros,  // U D
    };
    for (int wires = 0; wires < 16; ++wires) {
        const bool up = wires & 8, down = wires & 4, left = wires & 2, self = wires & 1;
        TGrid g(3);
        if (up) g.Put(0, 10, TLdbKind::V_Line), SetCellLinkDown(g.Cell(0, 10), true);
        if (left) g.Put(1, 5, TLdbKind::Open_Ry, 9, 0);
        if (self) g.Put(1, 10, TLdbKind::Open_Ry, 9, 1);
        if (down) SetCellLinkDown(g.Cell(1, 10), true);
        RecalcCellNode(1, 10, 60, g.bytes.data(), g.rows);
        const TLdbNode want = (wires == 1) ? TLdbNode::non_node : expected[wires];
        EXPECT_EQ(CellNode(g.Cell(1, 10)), want) << "wires " << wires;
        EXPECT_EQ(CellLinksDown(g.Cell(1, 10)), down) << "wires " << wires;
    }
    // Self alone on the left rail is "hl".
    TGrid g(2);
    g.Put(0, 0, TLdbKind::Open_Ry, 9, 0);
    RecalcCellNode(0, 0, 60, g.bytes.data(), g.rows);
    EXPECT_EQ(CellNode(g.Cell(0, 0)), TLdbNode::hl);
}

TEST(LinkRule, TokensCommentRowsAndTheLastRowStopLinks) {
    TGrid g(3);
    g.Put(0, 20, TLdbKind::V_Line);
    SetCellLinkDown(g.Cell(0, 20), true);
    g.Put(1, 20, TLdbKind::Spec_Token, 2, 5);
    RecalcCellNode(0, 20, 60, g.bytes.data(), g.rows);
    EXPECT_FALSE(CellLinksDown(g.Cell(0, 20)));
    const std::vector<std::uint8_t> token(g.Cell(1, 20), g.Cell(1, 20) + 5);
    RecalcCellNode(1, 20, 60, g.bytes.data(), g.rows);
    EXPECT_TRUE(std::equal(token.begin(), token.end(), g.Cell(1, 20)));

    // A link flag on the grid's last row has nothing below it.
    SetCellLinkDown(g.Cell(2, 5), true);
    RecalcCellNode(2, 5, 60, g.bytes.data(), g.rows);
    EXPECT_FALSE(CellLinksDown(g.Cell(2, 5)));
}

TEST(RecalcRows, RailRuleCommentRowsAndOutputsAreKept) {
    TGrid g(4);
    g.Put(0, 0, TLdbKind::Open_Ry, 9, 0);
    SetCellLinkDown(g.Cell(0, 0), true);
    g.Put(0, 5, TLdbKind::Open_Ry, 9, 1);  // contact in column 5 after a contact
    g.Put(0, 45, TLdbKind::Spec_Fun, 0, 0x28);
    g.Put(0, 50, TLdbKind::Spec_Token, 4, 1);
    SetCellNode(g.Cell(0, 50), static_cast<TLdbNode>(3));  // a digit count, not a node
    SetBlockCommentRow(g.Cell(1, 0), "a comment row is opaque: Out_Ry bytes inside");
    g.Put(2, 5, TLdbKind::Open_Ry, 9, 2);  // contact in column 5 with an empty cell 0
    const std::vector<std::uint8_t> comment(g.Cell(1, 0), g.Cell(1, 0) + 60);
    RecalcRows(60, 3, g.bytes.data(), g.rows);
    EXPECT_EQ(CellNode(g.Cell(0, 0)), TLdbNode::hl);
    EXPECT_FALSE(CellLinksDown(g.Cell(0, 0)));
    EXPECT_EQ(CellNode(g.Cell(0, 5)), TLdbNode::hl);
    EXPECT_EQ(CellNode(g.Cell(2, 5)), TLdbNode::non_node);
    EXPECT_EQ(static_cast<int>(CellNode(g.Cell(0, 50))), 3);
    EXPECT_TRUE(std::equal(comment.begin(), comment.end(), g.Cell(1, 0)));
    const std::vector<std::uint8_t> once = g.bytes;
    RecalcRows(60, 3, g.bytes.data(), g.rows);
    EXPECT_EQ(g.bytes, once);
}

TEST(ElementBounds, BoxesComparesAndCommentRows) {
    TGrid g(2);
    g.Put(0, 10, TLdbKind::Comp_Ry, 0, 0);
    g.Put(0, 15, TLdbKind::Spec_Token, 2, 0);
    g.Put(0, 20, TLdbKind::Spec_Token, 4, 5);
    g.Put(0, 35, TLdbKind::Spec_Fun, 0, 0x28);
    g.Put(0, 40, TLdbKind::Spec_Token, 4, 1);
    g.Put(0, 45, TLdbKind::Spec_Token, 2, 0);
    g.Put(0, 50, TLdbKind::Spec_Token, 2, 1);
    g.Put(0, 55, TLdbKind::Spec_Token, 2, 2);
    const std::uint8_t* grid = g.bytes.data();
    EXPECT_EQ(FindElementEnd(grid, 0, 10), 20);
    EXPECT_EQ(FindElementEnd(grid, 0, 20), 20);
    EXPECT_EQ(FindElementEnd(grid, 0, 35), 60);
    EXPECT_EQ(FindElementStart(grid, 0, 40), 35);
    EXPECT_EQ(FindElementStart(grid, 0, 15), 10);
    EXPECT_EQ(FindElementStart(grid, 0, 5), 5);
    SetBlockCommentRow(g.Cell(1, 0), "text");
    EXPECT_EQ(FindElementStart(grid, 1, 30), 0);
    EXPECT_EQ(FindElementEnd(grid, 1, 30), 60);
    EXPECT_EQ(FindBoxOrCoil(0, 60, grid), 35);
    EXPECT_EQ(FindBoxOrCoil(1, 60, grid), 60);

    // 32-bit compare: head and two token pairs.
    TGrid h(1);
    h.Put(0, 10, TLdbKind::Comp_Ry, 0, 1);
    for (int c = 15; c <= 30; c += 10) {
        h.Put(0, c, TLdbKind::Spec_Token, 2, 0);
        h.Put(0, c + 5, TLdbKind::Token_32bs);
    }
    EXPECT_EQ(FindElementEnd(h.bytes.data(), 0, 10), 30);
}

TEST(ClearBoxRun, ClearsTheBoxWithAllItsTokens) {
    TGrid g(1);
    g.Put(0, 0, TLdbKind::Open_Ry, 9, 0);
    g.Put(0, 40, TLdbKind::Spec_Fun, 0, 0x28);
    g.Put(0, 45, TLdbKind::Spec_Token, 4, 1);
    g.Put(0, 50, TLdbKind::Spec_Token, 2, 0);
    std::vector<std::uint8_t> before = g.bytes;
    ClearBoxRun(0, 0, 20, g.bytes.data());
    EXPECT_EQ(g.bytes, before);
    ClearBoxRun(0, 35, 10, g.bytes.data());
    for (int c = 40; c <= 50; c += 5) EXPECT_EQ(CellKind(g.Cell(0, c)), TLdbKind::non_inst) << c;
    EXPECT_EQ(CellKind(g.Cell(0, 0)), TLdbKind::Open_Ry);
}

TEST(GridHelpers, LabelsLastRowsAndLinks) {
    std::vector<std::int32_t> p(kPLabelCount, -1), i(kILabelCount, -1);
    TLabelTables t{p.data(), i.data()};
    p[7] = 12;
    i[300] = 12;
    i[899] = 40;
    std::int32_t n = -1;
    EXPECT_EQ(FindRowLabelIn(t, 12, n), TLabelKind::P);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(FindRowLabelIn(t, 40, n), TLabelKind::I);
    EXPECT_EQ(n, 899);
    EXPECT_EQ(FindRowLabelIn(t, 13, n), TLabelKind::None);
    ResetLabelTables(t);
    EXPECT_EQ(std::count(p.begin(), p.end(), -1), kPLabelCount);

    TGrid g(5);
    EXPECT_EQ(FindLastUsedRow(g.bytes.data(), 60, 4), -1);
    g.Cell(2, 55)[4] = 1;
    EXPECT_EQ(FindLastUsedRow(g.bytes.data(), 60, 4), 2);
    EXPECT_EQ(FindLastUsedRow(g.bytes.data(), 60, 1), -1);
    EXPECT_EQ(FindLastUsedRow(g.bytes.data(), 60, -3), -3);
    EXPECT_FALSE(IsLadderRowEmpty(g.Cell(2, 0)));
    EXPECT_TRUE(IsLadderRowEmpty(g.Cell(3, 0)));

    g.Put(1, 10, TLdbKind::Open_Ry, 9, 3);
    SetCellLink(1, 10, 60, 0x17, g.bytes.data());
    EXPECT_EQ(GetCellLink(1, 10, 60, g.bytes.data()), 0x17);
    EXPECT_EQ(CellKind(g.Cell(1, 10)), TLdbKind::Open_Ry);
    EXPECT_EQ(CellDevType(g.Cell(1, 10)), 9);
}

TEST(GridHelpers, BlockCommentTextAndTokenModifier) {
    std::uint8_t row[60];
    SetBlockCommentRow(row, std::string(57, 'a') + "\xE4\xB8\xAD");  // a 3-byte character at 57
    EXPECT_EQ(BlockCommentText(row), std::string(57, 'a'));
    SetBlockCommentRow(row, std::string(70, 'b'));
    EXPECT_EQ(BlockCommentText(row).size(), 58u);
    EXPECT_TRUE(IsBlockCommentRow(row));

    for (char letter : {'E', 'F'}) {
        for (std::uint8_t n = 0; n < 8; ++n) {
            const std::uint8_t m = MakeTokenModifier(TIndexReg{letter, n}, n % 2 == 1);
            EXPECT_EQ(TokenIndexReg(m), (TIndexReg{letter, n}));
            EXPECT_EQ(TokenIs32(m), n % 2 == 1);
        }
    }
    EXPECT_EQ(TokenIndexReg(MakeTokenModifier(TIndexReg{}, true)), TIndexReg{});
    EXPECT_EQ(IndexRegText(TIndexReg{'E', 0}), "E");
    EXPECT_EQ(IndexRegText(TIndexReg{'F', 3}), "F3");
}

}  // namespace
