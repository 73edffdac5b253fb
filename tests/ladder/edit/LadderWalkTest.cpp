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
            if (col >= 0) { ASSERT_FALSE(IsTokenCell(rig.Cell(rig.edit.Row(), col))) << "step " << step; }
            if (!r.changed) { ASSERT_EQ(rig.State(), before) << "step " << step << " action " << action; }
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

// Coils and boxes typed in insert mode onto rungs of 0 to 14 contacts (past
// 12 the rung is folded), a rung below it, in grids with and without rows to
// spare: a placement keeps every contact and the rung below (the compile
// holds them all, the output after the contacts); a refusal changes nothing.
TEST(LadderWalk, OutputsTypedInInsertModeKeepEveryElement) {
    const std::vector<std::string> outputs = {"OUT Y1", "SET M7", "MOV K1 D0", "ADD D0 D1 D2", "DMOV K100000 D10"};
    std::mt19937 rng(5);
    int placed = 0, refused = 0;
    for (int n = 0; n <= 14; ++n) {
        for (int trial = 0; trial < 12; ++trial) {
            LadderRig rig((n > 12 ? 3 : 2) + static_cast<int>(rng() % 2));
            std::vector<std::string> want;
            for (int k = n - 1; k >= 0; --k) {
                rig.edit.SetCursor(0, 0);
                ASSERT_TRUE(rig.Type("LD M" + std::to_string(k)).changed) << n;
            }
            for (int k = 0; k < n; ++k) want.push_back((k ? "AND M" : "LD M") + std::to_string(k));
            const int below = std::max(rig.edit.LastRow() + 1, 1);
            rig.edit.SetCursor(below, 0);
            rig.Type("LD X7");
            rig.edit.SetCursor(below, 5);
            rig.Type("OUT Y7");
            // The cursor on a contact of the rung, or just behind its last one.
            std::vector<std::pair<int, int>> spots{{0, 0}};
            for (int row = 0; row < below; ++row)
                for (int col = 0; col < 60; col += 5)
                    if (CellKind(rig.Cell(row, col)) == TLdbKind::Open_Ry) spots.emplace_back(row, col);
            if (spots.size() > 1 && spots.back().second < 55) spots.emplace_back(spots.back().first, spots.back().second + 5);
            if (n > 0) spots.erase(spots.begin());
            const auto [row, col] = spots[rng() % spots.size()];
            rig.edit.SetCursor(row, col);
            const std::string out = outputs[rng() % outputs.size()];
            const auto before = rig.State();
            const TLadderEditResult r = rig.Type(out);
            if (!r.changed) {
                ++refused;
                EXPECT_EQ(r.message, LadMsg::NoRoom) << n << " " << out;
                EXPECT_EQ(rig.State(), before) << n << " " << out;
                continue;
            }
            ++placed;
            want.push_back(out);
            for (const char* line : {"LD X7", "OUT Y7"}) want.push_back(line);
            std::string why;
            EXPECT_EQ(rig.Compile(&why), want) << n << " at " << row << "," << col << " " << out << ": " << why;
        }
    }
    EXPECT_GT(placed, 100);
    EXPECT_GT(refused, 5);
}
