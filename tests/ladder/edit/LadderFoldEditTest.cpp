// Edits on a rung folded onto a second row through a connector pair: each
// either keeps the pair whole (the ladder compiles to the rung as it was plus
// what was typed) or is refused with message 20 and leaves every byte as it
// was. A pair split by an edit would make every later compile refuse the
// ladder.
#include <functional>

#include <gtest/gtest.h>

#include "tests/ladder/edit/LadderRig.h"

using qel::test::LadderRig;
using qel::test::Ok;
using Lines = std::vector<std::string>;

namespace {

// Row 0: M0 .. M10 and the connector at 55; row 1: the connector, M11 and,
// with `coil`, wire up to OUT Y0. Row 2: LD X20, OUT Y20 (the next rung).
void LongRung(LadderRig& rig, bool coil) {
    rig.edit.insertMode = false;
    for (int k = 0; k < 12; ++k) Ok(rig.Type("LD M" + std::to_string(k)));
    ASSERT_EQ(CellKind(rig.Cell(0, 55)), TLdbKind::Re_Line);
    ASSERT_EQ(CellKind(rig.Cell(1, 0)), TLdbKind::Re_Line);
    ASSERT_EQ(CellKind(rig.Cell(1, 5)), TLdbKind::Open_Ry);
    if (coil) {
        rig.edit.SetCursor(1, 10);
        Ok(rig.Type("OUT Y0"));
    }
    rig.edit.SetCursor(2, 0);
    Ok(rig.Type("LD X20"));
    Ok(rig.Type("OUT Y20"));
}

// Row 0: X0, wire, the connector; row 1: the connector, X1, wire, OUT Y0.
// Row 2: LD X20, OUT Y20.
void ShortRung(LadderRig& rig) {
    rig.edit.insertMode = false;
    Ok(rig.Type("LD X0"));
    for (int k = 1; k < 11; ++k) Ok(rig.edit.Place(TLadderClass::HLine));
    Ok(rig.Type("LD X1"));  // on the row's last cell: the row ends in a connector
    ASSERT_EQ(CellKind(rig.Cell(0, 55)), TLdbKind::Re_Line);
    Ok(rig.Type("OUT Y0"));
    rig.edit.SetCursor(2, 0);
    Ok(rig.Type("LD X20"));
    Ok(rig.Type("OUT Y20"));
}

Lines LongLines(const char* coil) {
    Lines l{"LD M0"};
    for (int k = 1; k < 12; ++k) l.push_back("AND M" + std::to_string(k));
    if (coil) l.push_back(coil);
    l.push_back("LD X20");
    l.push_back("OUT Y20");
    return l;
}

TLadderBlock OneContact(LadderRig& rig) {
    TLadderBlock b;
    b.firstLength = 5;
    b.bytes.assign(rig.Cell(2, 0), rig.Cell(2, 5));  // LD X20
    return b;
}

struct TFoldCase {
    const char* what;
    std::function<void(LadderRig&)> build;
    std::function<TLadderEditResult(LadderRig&)> edit;
    Lines want;  // empty: refused with message 20, nothing changed
};

}  // namespace

TEST(LadderFoldEdit, EveryEditKeepsTheConnectorPairOrChangesNothing) {
    auto open = [](LadderRig& rig) { LongRung(rig, false); };
    auto full = [](LadderRig& rig) { LongRung(rig, true); };
    auto at = [](std::int32_t row, std::int32_t col, bool insert, auto f) {
        return [=](LadderRig& rig) {
            rig.edit.insertMode = insert;
            rig.edit.SetCursor(row, col);
            return f(rig);
        };
    };
    auto type = [](std::string line) { return [line](LadderRig& rig) { return rig.Type(line); }; };
    auto del = [](LadderRig& rig) { return rig.edit.DeleteBlock(); };
    auto delRow = [](LadderRig& rig) { return rig.edit.DeleteRow(); };
    const Lines shortJoined{"LD X0", "AND X1", "OUT Y0", "LD X20", "OUT Y20"};

    const TFoldCase cases[] = {
        // Outputs whose wire would cover the connector go behind the rung's end.
        {"overwrite coil at (0,50)", open, at(0, 50, false, type("OUT Y0")), LongLines("OUT Y0")},
        {"overwrite box at (0,20)", open, at(0, 20, false, type("MOV K1 D0")), LongLines("MOV K1 D0")},
        {"overwrite coil at (0,50), rung has its coil", full, at(0, 50, false, type("OUT Y1")), {}},
        {"insert coil on (0,55)", open, at(0, 55, true, type("OUT Y0")), LongLines("OUT Y0")},
        {"insert coil on (1,0)", open, at(1, 0, true, type("OUT Y0")), LongLines("OUT Y0")},
        {"insert coil on (0,55), rung has its coil", full, at(0, 55, true, type("OUT Y1")), {}},
        {"overwrite coil on (1,0)", open, at(1, 0, false, type("OUT Y0")), LongLines("OUT Y0")},
        // Elements that would overwrite a connector.
        {"overwrite compare at (0,45)", full, at(0, 45, false, type("AND= D0 K1")), {}},
        {"overwrite contact on (0,55)", full, at(0, 55, false, type("AND X5")), {}},
        {"overwrite contact on (1,0)", full, at(1, 0, false, type("AND X5")), {}},
        {"vertical line on (0,55)", full, at(0, 55, true, [](LadderRig& r) { return r.edit.Place(TLadderClass::VLine); }), {}},
        // Deleting a connector joins the rung where it then fits on one row.
        {"Delete on (0,55), rung too long to join", full, at(0, 55, true, del), {}},
        {"Delete on (0,55)", ShortRung, at(0, 55, true, del), shortJoined},
        {"Delete on (1,0)", ShortRung, at(1, 0, true, del), shortJoined},
        // Blocks.
        {"block delete over (0,55)", full,
         at(0, 50, true, [](LadderRig& r) {
             r.edit.SelectTo(0, 55);
             return r.edit.DeleteBlock();
         }),
         {}},
        {"block delete of both rows of the rung", full,
         at(0, 0, true, [](LadderRig& r) {
             r.edit.SelectTo(1, 55);
             return r.edit.DeleteBlock();
         }),
         {"LD X20", "OUT Y20"}},
        {"paste a contact over (1,0)", full, at(1, 0, true, [](LadderRig& r) { return r.edit.PasteBlock(OneContact(r)); }),
         {}},
        // Rows: the folded row goes with its continuation; nothing comes between them.
        {"delete the folded row", full, at(0, 20, true, delRow), {"LD X20", "OUT Y20"}},
        {"delete the continuation row", full, at(1, 20, true, delRow), {"LD X20", "OUT Y20"}},
        {"insert a row between the pair", full, at(1, 20, true, [](LadderRig& r) { return r.edit.InsertRow(); }), {}},
    };
    for (const TFoldCase& c : cases) {
        SCOPED_TRACE(c.what);
        LadderRig rig;
        c.build(rig);
        if (HasFatalFailure()) return;
        int undoSteps = 0;
        rig.edit.BeforeChange = [&] { ++undoSteps; };
        const auto before = rig.State();
        const TLadderEditResult r = c.edit(rig);
        if (c.want.empty()) {
            EXPECT_FALSE(r.changed);
            EXPECT_EQ(r.message, LadMsg::NoRoom);
            EXPECT_EQ(rig.State(), before);
            EXPECT_EQ(undoSteps, 0);
        } else {
            EXPECT_TRUE(r.changed);
            EXPECT_EQ(r.message, LadMsg::None);
            std::string failure;
            EXPECT_EQ(rig.Compile(&failure), c.want) << failure;
            EXPECT_EQ(undoSteps, 1);
        }
    }
}
