// One network to instruction-list lines: the layouts that are refused and rungs
// that share only the rail. (The instruction forms, operand texts and positions
// of every layout the conversion draws: the round trip, RoundTripTest; a short
// circuit and a bridge, with the compile's message: CompileTest.)
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

TResult Convert(TGridBuilder& g, int rows) {
    TResult r;
    r.ok = ConvertNetworkToInst(g.Data(), g.Stride(), rows, 0, -1, -1, nullptr, r.lines, r.err);
    for (const auto& l : r.lines) r.texts.push_back(l.text);
    return r;
}

TEST(Network, RefusedLayouts) {
    // A coil inside a parallel path: its output would be lost.
    TGridBuilder c;
    c.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0").No(1, 0, "X2").El(1, 1, TLdbKind::Out_Ry, "Y5").Down(0, 2)
        .Renormalise();
    TResult r = Convert(c, 2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.row, 1);
    EXPECT_EQ(r.err.col, 2);

    // An empty cell in the path: the contact before it leads nowhere.
    TGridBuilder gap;
    gap.No(0, 0, "X0").No(0, 2, "X1").Coil(0, 3, "Y0").Renormalise();
    r = Convert(gap, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.col, 1);

    // A step contact after another contact has no instruction form.
    TGridBuilder step;
    step.No(0, 0, "X0").Stl(0, 1, "S1").Coil(0, 2, "Y0").Renormalise();
    r = Convert(step, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.col, 2);

    // A box without its operands.
    TGridBuilder box;
    box.No(0, 0, "X0").Wire(0, 1, 11).Box(0, 11, 0x0028).Renormalise();
    r = Convert(box, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err.col, 12);
    EXPECT_EQ(r.err.detail, "應用命令之後不是接參數");
}

TEST(Network, RungsSharingOnlyTheRailFollowEachOther) {
    TGridBuilder two;
    two.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0").No(1, 0, "X2").Coil(1, 1, "Y1").Renormalise();
    two.Nc(2, 0, "X3").Down(1, 1).Renormalise();
    EXPECT_EQ(Convert(two, 3).texts, (Texts{"LD  X0", "AND  X1", "OUT  Y0", "LD  X2", "ORI  X3", "OUT  Y1"}));
}

}  // namespace
