// A seeded random walk of cursor keys and placements over a small grid: the
// cursor never leaves the grid nor rests on an operand cell, a refused edit
// changes nothing, and a grid that does not compile always says why.
#include <random>

#include <gtest/gtest.h>

#include "tests/ladder/edit/LadderRig.h"

using qel::test::LadderRig;

TEST(LadderWalk, KeysAndPlacementsStayInsideTheGrid) {
    const std::vector<std::string> lines = {
        "LD X0", "LDI X1", "AND M5", "ORP X2", "LDF Y3", "STL S20", "OUT Y0", "OUT M100", "SET Y1",
        "MOV K1 D0", "DMOV K100000 D10", "TMR T0 K10", "CNT C0 K5", "LD>= D0 K5", "DAND< D2 K70000",
        "END", "P1", "I001", "INV", "ANB", "LD Q9", "MOV", "ZRST M0 M10", "ADD D0 D1 D2", "OUT T1 K20"};
    for (unsigned seed : {1u, 7u, 42u}) {
        LadderRig rig(24);
        rig.edit.SetPageRows(6);
        std::mt19937 rng(seed);
        int compiled = 0, refusedCompiles = 0;
        for (int step = 0; step < 3000; ++step) {
            const auto before = rig.State();
            TLadderEditResult r;
            const int action = static_cast<int>(rng() % 16);
            switch (action) {
                case 0: rig.edit.Left(); break;
                case 1: rig.edit.Right(); break;
                case 2: rig.edit.Up(); break;
                case 3: rig.edit.Down(); break;
                case 4: rig.edit.PageDown(); break;
                case 5: rig.edit.PageUp(); break;
                case 6: rig.edit.End(); break;
                case 7: rig.edit.SetCursor(static_cast<int>(rng() % 40) - 5, static_cast<int>(rng() % 75) - 10); break;
                case 8: rig.edit.insertMode = !rig.edit.insertMode; break;
                case 9: r = rig.edit.Place(TLadderClass::VLine); break;
                case 10: r = rig.edit.Place(TLadderClass::HLine); break;
                case 11: r = rig.edit.DeleteElement(); break;
                case 12: r = rig.edit.DeleteVLine(); break;
                default: r = rig.Type(lines[rng() % lines.size()]); break;
            }
            ASSERT_GE(rig.edit.Row(), 0);
            ASSERT_LT(rig.edit.Row(), 24);
            const int col = rig.edit.Col();
            ASSERT_TRUE(col == -5 || (col >= 0 && col <= 55 && col % 5 == 0)) << col;
            if (col >= 0) ASSERT_FALSE(IsTokenCell(rig.Cell(rig.edit.Row(), col))) << "step " << step;
            if (!r.changed) ASSERT_EQ(rig.State(), before) << "step " << step << " action " << action;
            if (step % 25 == 0) {
                std::string why;
                if (rig.Compile(&why).empty() && rig.edit.LastRow() >= 0) {
                    ++refusedCompiles;
                    ASSERT_FALSE(why.empty()) << "step " << step;
                } else {
                    ++compiled;
                }
            }
        }
        EXPECT_GT(compiled + refusedCompiles, 100);
    }
}
