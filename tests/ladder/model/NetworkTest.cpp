// One network to instruction-list lines: the instruction forms each layout
// gives, operand texts, positions, and the layouts that are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GridBuilder.h"
#include "ladder/model/Netconvert.h"

namespace {

using qel::test::TGridBuilder;
using Texts = std::vector<std::string>;

struct TResult {
    bool ok = false;
    Texts texts;
    std::vector<TInstTextLine> lines;
    TLayoutError err;
};

TResult Convert(TGridBuilder& g, int rows, int startRow = 0, int pLabel = -1, int iLabel = -1) {
    TResult r;
    r.ok = ConvertNetworkToInst(g.Data(), g.Stride(), rows, startRow, pLabel, iLabel, nullptr, r.lines, r.err);
    for (const auto& l : r.lines) r.texts.push_back(l.text);
    return r;
}

TEST(Network, SeriesAndParallelContacts) {
    EXPECT_EQ(Convert(TGridBuilder().No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0").Renormalise(), 1).texts,
              (Texts{"LD  X0", "AND  X1", "OUT  Y0"}));
    // A single contact below: the OR forms.
    for (auto [kind, mnem] : {std::pair{TLdbKind::Open_Ry, "OR  X1"}, {TLdbKind::Close_Ry, "ORI  X1"},
                              {TLdbKind::Tu_Ry, "ORP  X1"}, {TLdbKind::Td_Ry, "ORF  X1"}}) {
        TGridBuilder g;
        g.No(0, 0, "X0").Coil(0, 1, "Y0").El(1, 0, kind, "X1").Down(0, 1).Renormalise();
        EXPECT_EQ(Convert(g, 2).texts, (Texts{"LD  X0", mnem, "OUT  Y0"}));
    }
    // Two contacts below: a block of its own joined with ORB.
    EXPECT_EQ(Convert(TGridBuilder().No(0, 0, "X0").Wire(0, 1, 2).Coil(0, 2, "Y0").No(1, 0, "X1").Nc(1, 1, "X2")
                          .Down(0, 2).Renormalise(), 2).texts,
              (Texts{"LD  X0", "LD  X1", "ANI  X2", "ORB", "OUT  Y0"}));
    // A block after a series contact is joined with ANB; one that opens the rung is not.
    EXPECT_EQ(Convert(TGridBuilder().No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0").No(1, 1, "X2")
                          .Down(0, 1).Down(0, 2).Renormalise(), 2).texts,
              (Texts{"LD  X0", "LD  X1", "OR  X2", "ANB", "OUT  Y0"}));
}

TEST(Network, OutputBranches) {
    TGridBuilder g;
    g.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0");
    g.No(1, 1, "X2").Coil(1, 2, "Y1");
    g.No(2, 1, "X3").Coil(2, 2, "Y2");
    g.Down(0, 1).Down(1, 1).Renormalise();
    EXPECT_EQ(Convert(g, 3).texts, (Texts{"LD  X0", "MPS", "AND  X1", "OUT  Y0", "MRD", "AND  X2", "OUT  Y1", "MPP",
                                          "AND  X3", "OUT  Y2"}));
    // Outputs without contacts of their own need no stack.
    TGridBuilder h;
    h.No(0, 0, "X0").Coil(0, 1, "Y0").Coil(1, 1, "Y1").Down(0, 1).Renormalise();
    EXPECT_EQ(Convert(h, 2).texts, (Texts{"LD  X0", "OUT  Y0", "OUT  Y1"}));
}

TEST(Network, StepContacts) {
    TGridBuilder g;
    g.Stl(0, 0, "S10").No(0, 1, "X0").Coil(0, 2, "Y0").No(1, 1, "X1").Coil(1, 2, "Y1").Down(0, 1).Renormalise();
    EXPECT_EQ(Convert(g, 2).texts, (Texts{"STL  S10", "LD  X0", "OUT  Y0", "LD  X1", "OUT  Y1"}));
    // A block right after the step opens it (no ANB); one after a contact is joined.
    TGridBuilder b;
    b.Stl(0, 0, "S1").No(0, 1, "X0").No(0, 2, "X1").Coil(0, 3, "Y0").No(1, 2, "X2").Down(0, 2).Down(0, 3).Renormalise();
    EXPECT_EQ(Convert(b, 2).texts, (Texts{"STL  S1", "LD  X0", "LD  X1", "OR  X2", "ANB", "OUT  Y0"}));
    // A step contact after another contact has no instruction form.
    TGridBuilder bad;
    bad.No(0, 0, "X0").Stl(0, 1, "S1").Coil(0, 2, "Y0").Renormalise();
    const TResult r = Convert(bad, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.col, 2);
}

TEST(Network, ComparesAndBoxOperands) {
    // DAND> D0 K100000 in series, DOR> as a parallel path.
    TGridBuilder g(4, 12);
    g.No(0, 0, "X0").Compare(0, 1, 3).Token(0, 2, CellDev::D, 0, true).Token(0, 4, CellDev::K, 100000, true);
    g.Coil(0, 6, "Y0");
    g.Compare(1, 0, 3).Token(1, 1, CellDev::D, 2, true).Token(1, 3, CellDev::K, -1, true).Down(0, 6);
    g.Wire(1, 5, 6).Renormalise();
    EXPECT_EQ(Convert(g, 2).texts, (Texts{"LD  X0", "DAND>  D0  K100000", "DOR>  D2  K-1", "OUT  Y0"}));

    // Octal X, hexadecimal H, negative K, digit groups and index registers.
    TGridBuilder b;
    b.No(0, 0, "X17").Box(0, 9, 0x0028).Token(0, 10, CellDev::H, 0x0F).Token(0, 11, CellDev::D, 3, false, {'E', 0});
    b.Wire(0, 1, 9).Renormalise();
    EXPECT_EQ(Convert(b, 1).texts, (Texts{"LD  X17", "MOV  H0F  D3E"}));
    TGridBuilder c;
    c.No(0, 0, "X0").Box(0, 9, 0x0028).Token(0, 10, CellDev::M, 0, false, {'F', 1}, 4).Token(0, 11, CellDev::D, 0);
    c.Wire(0, 1, 9).Renormalise();
    EXPECT_EQ(Convert(c, 1).texts, (Texts{"LD  X0", "MOV  K4M0F1  D0"}));
}

TEST(Network, LabelsAndPositions) {
    TGridBuilder g;
    g.No(0, 0, "X0").Coil(0, 1, "Y0").Renormalise();
    const TResult r = Convert(g, 1, 40, 3, 100);
    EXPECT_EQ(r.texts, (Texts{"P3", "I100", "LD  X0", "OUT  Y0"})) << "both labels are kept, P first";
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0].row, 40);
    EXPECT_EQ(r.lines[0].column, 0);
    EXPECT_EQ(r.lines[3].row, 40);
    EXPECT_EQ(r.lines[3].column, 12);
}

TEST(Network, WideRowPositions) {
    // A wide row of two segments: cell index 12 is column 1 of the continuation
    // row, which the origins map names.
    TGridBuilder g(2, 24);
    g.No(0, 0, "X0").Wire(0, 1, 12).No(0, 12, "X1").Coil(0, 13, "Y0").Renormalise();
    TWideOrigins origins;
    origins.segments = 2;
    origins.gridRow = {7, 9};
    std::vector<TInstTextLine> lines;
    TLayoutError err;
    ASSERT_TRUE(ConvertNetworkToInst(g.Data(), g.Stride(), 1, 7, -1, -1, &origins, lines, err));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].text, "AND  X1");
    EXPECT_EQ(lines[1].row, 9);
    EXPECT_EQ(lines[1].column, 1);
}

TEST(Network, RefusedLayouts) {
    // A parallel path of wires only short-circuits the contact.
    TGridBuilder s;
    s.No(0, 0, "X0").Coil(0, 1, "Y0").Wire(1, 0, 1).Down(0, 1).Renormalise();
    TResult r = Convert(s, 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.msgId, 33);

    // A coil inside a parallel path: its output would be lost.
    TGridBuilder c;
    c.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0").No(1, 0, "X2").El(1, 1, TLdbKind::Out_Ry, "Y5").Down(0, 2)
        .Renormalise();
    r = Convert(c, 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.row, 1);
    EXPECT_EQ(r.err.col, 2);

    // An empty cell in the path: the contact before it leads nowhere.
    TGridBuilder gap;
    gap.No(0, 0, "X0").No(0, 2, "X1").Coil(0, 3, "Y0").Renormalise();
    r = Convert(gap, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.col, 1);

    // A box without its operands.
    TGridBuilder box;
    box.No(0, 0, "X0").Wire(0, 1, 11).Box(0, 11, 0x0028).Renormalise();
    r = Convert(box, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.col, 12);
    EXPECT_EQ(r.err.detail, "應用命令之後不是接參數");

    // A bridge: X5 joins the paths X0-X1 and X2-X3 between their ends, so no
    // split into series and parallel parts exists. Refused as crossing blocks.
    TGridBuilder bridge;
    bridge.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0");
    bridge.No(1, 1, "X5").Down(0, 1).Down(1, 2).Down(0, 3).Down(1, 3);
    bridge.No(2, 0, "X2").Wire(2, 1, 2).No(2, 2, "X3").Renormalise();
    r = Convert(bridge, 3);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.msgId, 248);
    EXPECT_EQ(r.err.detail, "BranchLine");
    EXPECT_EQ(r.err.row, 0);
    EXPECT_EQ(r.err.col, 1);
}

TEST(Network, RungsSharingOnlyTheRailFollowEachOther) {
    TGridBuilder two;
    two.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0").No(1, 0, "X2").Coil(1, 1, "Y1").Renormalise();
    two.Nc(2, 0, "X3").Down(1, 1).Renormalise();
    EXPECT_EQ(Convert(two, 3).texts, (Texts{"LD  X0", "AND  X1", "OUT  Y0", "LD  X2", "ORI  X3", "OUT  Y1"}));
}

TEST(Network, EmptyNetworkGivesNoLines) {
    TGridBuilder g;
    const TResult r = Convert(g, 3);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.lines.empty());
}

}  // namespace
