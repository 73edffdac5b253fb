#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <random>
#include <sstream>

#include "LadderTestSupport.h"
#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/LadderTempFiles.h"
#include "ladder/model/Laddercompile.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "tests/support/ScriptedMessages.h"

namespace {

// A stand-alone target grid with its label tables.
struct TGridFixture {
    explicit TGridFixture(std::int32_t rows = 400) : grid(static_cast<std::size_t>(rows) * 60, 0), p(256, -1), i(900, -1) {
        target.grid = grid.data();
        target.rowCapacity = rows;
        target.labels = TLabelTables{p.data(), i.data()};
    }
    std::vector<std::uint8_t> grid;
    std::vector<std::int32_t> p, i;
    TLadderTarget target;
};

struct TConverted {
    TConvertResult result;
    std::vector<std::string> rows;
    TGridFixture fx;
};

TConverted Convert(const std::vector<std::string>& lines, const TSavedComments* comments = nullptr) {
    TConverted c;
    const std::vector<std::uint8_t> image = ProgramImage(lines);
    const std::vector<std::uint8_t> code = AssembleLines(lines);
    TConvertInput in;
    in.code = image.data();
    in.length = static_cast<std::uint32_t>(image.size());
    in.used = static_cast<std::uint32_t>(code.size());
    in.comments = comments;
    c.result = ConvertCodeToGrid(in, c.fx.target);
    c.rows = DumpGrid(c.fx.grid.data(), c.result.rowCount);
    return c;
}

constexpr std::uint32_t kCapacities[] = {3616, 7584, 15840, 31744};

std::string H(int n) {  // n horizontal wires
    std::string s;
    for (int k = 0; k < n; ++k) s += " H_Line:hl";
    return s;
}

// The stored bytes themselves, for the two smallest programs; the goldens
// below compare dumps that show every byte of a cell.
TEST(CodeToLadder, CellBytesOfSeriesAndParallel) {
    using TCellBytes = std::array<std::uint8_t, 5>;
    const auto cell = [](const TConverted& c, int row, int col) {
        TCellBytes b;
        std::memcpy(b.data(), CellAt(c.fx.grid.data(), row, col), 5);
        return b;
    };
    const TCellBytes wire = {0, 0x52, 0, 0, 0};  // H_Line, node hl
    const TConverted c = Convert({"LD X0", "OUT Y0", "END"});
    ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
    EXPECT_EQ(c.result.rowCount, 2);
    EXPECT_EQ(cell(c, 0, 0), (TCellBytes{0, 0x12, 0x09, 0, 0}));   // Open_Ry hl, X 0
    for (int col = 5; col <= 50; col += 5) EXPECT_EQ(cell(c, 0, col), wire) << col;
    EXPECT_EQ(cell(c, 0, 55), (TCellBytes{0, 0x32, 0x0A, 0, 0}));  // Out_Ry hl, Y 0
    for (int col = 0; col <= 50; col += 5) EXPECT_EQ(cell(c, 1, col), wire) << col;
    EXPECT_EQ(cell(c, 1, 55), (TCellBytes{0, 0x42, 0, 0x0F, 0}));  // Spec_Fun hl, END word
    EXPECT_EQ(c.rows[0], "Open_Ry:hl:X0" + H(10) + " Out_Ry:hl:Y0");

    // X1 in parallel: the junction of column 5 links down into an "RD" node.
    const TConverted p = Convert({"LD X0", "OR X1", "OUT Y0", "END"});
    ASSERT_TRUE(p.result.ok) << ConvertFailureName(p.result.cause);
    EXPECT_EQ(cell(p, 0, 5), (TCellBytes{0, 0x54, 0x10, 0, 0}));  // H_Line UhDv, link down
    EXPECT_EQ(cell(p, 1, 0), (TCellBytes{0, 0x12, 0x09, 1, 0}));  // Open_Ry hl, X 1
    EXPECT_EQ(cell(p, 1, 5), (TCellBytes{0, 0x0B, 0, 0, 0}));     // empty, node RD
    EXPECT_EQ(cell(p, 1, 10), (TCellBytes{}));
}

// Every token of a row follows its box or compare head in that row: folding
// never separates them.
void ExpectWholeElements(const std::uint8_t* grid, std::int32_t row) {
    for (std::int32_t col = 0; col < 60; col += 5) {
        const TLdbKind k = CellKind(CellAt(grid, row, col));
        if (!IsTokenKind(k)) continue;
        ASSERT_GT(col, 0) << "row " << row << " starts with a token";
        const TLdbKind left = CellKind(CellAt(grid, row, col - 5));
        EXPECT_TRUE(IsTokenKind(left) || left == TLdbKind::Spec_Fun || left == TLdbKind::Comp_Ry)
            << "row " << row << " column " << col;
        if (k == TLdbKind::Token_32bs) {
            EXPECT_EQ(left, TLdbKind::Spec_Token) << "row " << row << " column " << col;
        }
    }
}

void ExpectNormalisedGrid(const TGridFixture& fx, std::int32_t rows) {
    for (std::size_t b = static_cast<std::size_t>(rows) * 60; b < fx.grid.size(); ++b) {
        ASSERT_EQ(fx.grid[b], 0) << "byte " << b << " past the rows written";
    }
    std::vector<std::uint8_t> again = fx.grid;
    RecalcRows(60, rows - 1, again.data(), fx.target.rowCapacity);
    EXPECT_EQ(again, fx.grid) << "grid not normalised";
    for (std::int32_t row = 0; row < rows; ++row) {
        const std::uint8_t* first = CellAt(fx.grid.data(), row, 0);
        if (IsBlockCommentRow(first)) continue;
        EXPECT_FALSE(CellLinksDown(first)) << "rail link, row " << row;
        // An output ends at the right edge of its row.
        const std::int32_t out = FindBoxOrCoil(row, 60, fx.grid.data());
        if (out < 60) {
            EXPECT_TRUE(FindElementEnd(fx.grid.data(), row, out) == 60 || out == 55) << "row " << row;
        }
        ExpectWholeElements(fx.grid.data(), row);
    }
}

struct TGolden {
    const char* name;
    std::vector<std::string> program;
    std::vector<std::string> rows;
};

// Each program converts to exactly these rows (every byte of every cell shows
// in the dump: kind, node, down link, device type and number, modifier).
const std::vector<TGolden> kGolden = {
    {"AnbJoin",
     {"LD X0", "AND X1", "LD X2", "OR X3", "ANB", "OUT Y1", "END"},
     {"Open_Ry:hl:X0 Open_Ry:hl:X1 Open_Ry:UhDvv:X2 H_Line:UhDvv H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y1",
      ". . Open_Ry:LD:X3 non_inst:RD",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    {"MpsMrdMpp",
     {"LD X0", "MPS", "AND X1", "OUT Y0", "MRD", "AND X2", "OUT Y1", "MPP", "OUT Y2", "END"},
     {"Open_Ry:hl:X0 Open_Ry:UhDvv:X1 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y0",
      ". Open_Ry:LvRhv:X2 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y1",
      ". H_Line:LD H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y2",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    {"TimersAndCounters",
     {"LD X0", "TMR T0 K10", "LD T0", "CNT C0 K5", "LD X1", "RST C0", "LD X2", "DCNT C200 K100000", "END"},
     {"Open_Ry:hl:X0 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:0003 Spec_Token:n0:T0 Spec_Token:n0:K10",
      "Open_Ry:hl:T0 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:0005 Spec_Token:n0:C0 Spec_Token:n0:K5",
      "Open_Ry:hl:X1 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:0007 Spec_Token:n0:C0",
      // The 32-bit counter: its counter operand is one cell, the set value a pair.
      "Open_Ry:hl:X2 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:0006 Spec_Token:n0:C200 Spec_Token:n0:K100000#10 Token_32bs:n0:0001/4",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    {"BoxesOf16And32Bits",
     {"LD X0", "DMOV K100000 D0", "MOV K4X0 D10E", "END"},
     {"Open_Ry:hl:X0 H_Line:UhDvv H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:0029 Spec_Token:n0:K100000#10 Token_32bs:n0:0001/4 Spec_Token:n0:D0#10 Token_32bs:n0:0000",
      ". H_Line:LD H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:0028 Spec_Token:n4:X0 Spec_Token:n0:D10#80",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    {"CompareContacts",
     {"LD= D0 K5", "AND> D1 D2", "OR<> D3 K1", "OUT Y0", "DLD= D0 K100000", "OUT Y1", "END"},
     {"Comp_Ry:hl:0000 Spec_Token:n0:D0 Spec_Token:n0:K5 Comp_Ry:hl:0002 Spec_Token:n0:D1 Spec_Token:n0:D2 H_Line:UhDvv H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y0",
      "Comp_Ry:hl:0006 Spec_Token:n0:D3 Spec_Token:n0:K1 H_Line:hl H_Line:hl H_Line:hl non_inst:RD",
      "Comp_Ry:hl:0001 Spec_Token:n0:D0#10 Token_32bs:n0:0000 Spec_Token:n0:K100000#10 Token_32bs:n0:0001/4 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y1",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    {"StepNetworks",
     {"STL S10", "OUT Y0", "LD X0", "SET S11", "LD X1", "OUT Y2", "STL S11", "LD X2", "OUT Y3", "RET", "END"},
     {"State_Ry:hl:S10 H_Line:UhDvv H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y0",
      ". Open_Ry:LvRhv:X0 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:D000 Spec_Token:n0:S11",
      ". Open_Ry:LD:X1 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y2",
      "State_Ry:hl:S11 Open_Ry:UhDvv:X2 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y3",
      ". H_Line:LD H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000E",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    {"WideNetworkIsFolded",
     {"LD X0", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11", "AND X12", "AND X13", "AND X14", "OUT Y0", "END"},
     {"Open_Ry:hl:X0 Open_Ry:hl:X1 Open_Ry:hl:X2 Open_Ry:hl:X3 Open_Ry:hl:X4 Open_Ry:hl:X5 Open_Ry:hl:X6 Open_Ry:hl:X7 Open_Ry:hl:X10 Open_Ry:hl:X11 Open_Ry:hl:X12 Re_Line:hl:0000",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Re_Line:hl:0001",
      "Re_Line:hl:0000 Open_Ry:hl:X13 Open_Ry:hl:X14 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y0",
      "Re_Line:hl:0001 H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
    // A block after an output of a branch: it goes below the output's row,
    // and the branch's next output follows the block on the block's row
    // instead of linking down from the first output's wire.
    {"BlockAfterOutputInBranch",
     {"LD X0", "MPS", "AND X1", "OUT Y0", "LD X2", "OR X3", "ANB", "OUT Y1", "MPP", "OUT Y2", "END"},
     {"Open_Ry:hl:X0 Open_Ry:UhDvv:X1 H_Line:UhDvv H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y0",
      ". V_Line:vlv Open_Ry:LvRhv:X2 H_Line:UhDvv H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y1",
      ". V_Line:vlv Open_Ry:LD:X3 non_inst:RD",
      ". H_Line:LD H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Out_Ry:hl:Y2",
      "H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl H_Line:hl Spec_Fun:hl:000F"}},
};

// docs/file-formats.md describes the cells as the conversion writes them: the
// token modifier bytes of its examples, and the size of the label-table file.
TEST(CodeToLadder, FileFormatsDocumentMatchesTheCells) {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::ifstream f(std::filesystem::path(src) / "docs" / "file-formats.md");
    const std::string doc((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(doc.empty());
    EXPECT_NE(doc.find("So D0E has byte 0 = 0x80, K4X0F1 0x89, a 32-bit D10E7 0x97"), std::string::npos);
    const TConverted c = Convert({"LD X0", "MOV D0E D2", "MOV K4X0F1 D4", "DMOV D10E7 D20", "END"});
    ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
    EXPECT_EQ(CellAt(c.fx.grid.data(), 0, 50)[0], 0x80);  // MOV D0E D2: head at 45
    EXPECT_EQ(CellAt(c.fx.grid.data(), 1, 50)[0], 0x89);
    EXPECT_EQ(CellAt(c.fx.grid.data(), 2, 40)[0], 0x97);  // DMOV: head at 35, tokens in pairs
    EXPECT_EQ(static_cast<int>(CellAt(c.fx.grid.data(), 1, 50)[1] & 0x0F), 4);

    // The label tables: header, two counts, then the P and I rows as i32.
    const std::size_t labBytes = 128 + 8 + 4 * (kPLabelCount + kILabelCount);
    const std::size_t at = doc.find("### `.lab` label tables");
    ASSERT_NE(at, std::string::npos);
    const std::size_t exactly = doc.find("Exactly ", at);
    ASSERT_NE(exactly, std::string::npos);
    EXPECT_EQ(std::stoul(doc.substr(exactly + 8)), labBytes);
}

TEST(CodeToLadder, GoldenGrids) {
    for (const TGolden& g : kGolden) {
        SCOPED_TRACE(g.name);
        const TConverted c = Convert(g.program);
        ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
        EXPECT_EQ(c.rows, g.rows);
        ExpectNormalisedGrid(c.fx, c.result.rowCount);
    }
}

TEST(CodeToLadder, LabelsAndStepMarks) {
    const TConverted c = Convert({"LD X0", "OUT Y0", "P3", "LD X1", "OUT Y1", "I100", "LD X2", "OUT Y2", "END"});
    ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
    EXPECT_EQ(c.fx.p[3], 1);
    EXPECT_EQ(c.fx.i[100], 2);
    EXPECT_EQ(std::count(c.fx.p.begin(), c.fx.p.end(), -1), 255);
    // Steps: LD X0 = 0, OUT Y0 = 1, P3 = 2, LD X1 = 3, ..., I100 = 5, LD X2 = 6, END = 8.
    const std::vector<TStepMark> marks = {{0, 0}, {1, 2}, {2, 5}};
    EXPECT_EQ(c.result.marks, marks);

    // An interrupt routine after FEND: the label ends the main part's network.
    const TConverted f = Convert({"LD X0", "OUT Y0", "FEND", "I100", "LD X1", "OUT Y1", "IRET", "END"});
    ASSERT_TRUE(f.result.ok) << ConvertFailureName(f.result.cause);
    ASSERT_EQ(f.rows.size(), 5u);
    EXPECT_EQ(f.rows[1], "H_Line:hl" + H(10) + " Spec_Fun:hl:001C");
    EXPECT_EQ(f.rows[2], "Open_Ry:hl:X1" + H(10) + " Out_Ry:hl:Y1");
    EXPECT_EQ(f.fx.i[100], 2);
    EXPECT_EQ(f.result.marks, (std::vector<TStepMark>{{0, 0}, {2, 3}}));
}

TEST(CodeToLadder, RefusalsLeaveTheTargetUntouched) {
    const std::vector<std::pair<std::vector<std::string>, TConvertFailure>> refused = {
        {{"AND X0", "OUT Y0", "END"}, TConvertFailure::NeedsBranch},
        {{"OUT Y0", "END"}, TConvertFailure::NeedsBranch},
        {{"LD X0", "ANB", "OUT Y0", "END"}, TConvertFailure::BlockUnderflow},
        {{"LD X0", "OUT Y0", "MPP", "END"}, TConvertFailure::MpsUnderflow},
        // MRD or MPP with nothing saved, also after the saved value was popped.
        {{"LD X0", "OUT Y0", "MRD", "AND X3", "OUT Y2", "MPP", "END"}, TConvertFailure::MpsUnderflow},
        {{"LD X0", "MPS", "AND X1", "OUT Y1", "MPP", "OUT Y0", "MRD", "AND X3", "OUT Y2", "MPP", "END"},
         TConvertFailure::MpsUnderflow},
        {{"LD X0", "MPS", "AND X1", "OUT Y0", "P0", "MPP", "OUT Y1", "END"}, TConvertFailure::MpsLeftOpen},
        {{"STL S10", "LD X0", "STL S11", "OUT Y0", "END"}, TConvertFailure::StlMisplaced},
        {{"P0", "LD X0", "OUT Y0", "P0", "LD X1", "OUT Y1", "END"}, TConvertFailure::LabelTwice},
        {{"P0", "P1", "LD X0", "OUT Y0", "END"}, TConvertFailure::LabelTwice},
        {{"LD X0", "OUT Y0", "END", "P5"}, TConvertFailure::LabelAtEnd},
        // A label inside a rung: the ladder has no place for it there.
        {{"LD X0", "P0", "LD X1", "OUT Y1", "END"}, TConvertFailure::LabelMisplaced},
        {{"STL S10", "P0", "OUT Y0", "END"}, TConvertFailure::LabelMisplaced},
        {{"LD X0", "MPS", "OUT Y0", "MRD", "I100", "OUT Y1", "MPP", "OUT Y2", "END"}, TConvertFailure::LabelMisplaced},
        {{"LD X0", "ORB", "OUT Y0", "END"}, TConvertFailure::BlockUnderflow},
    };
    for (const auto& [program, cause] : refused) {
        SCOPED_TRACE(program.front() + " / " + program[1]);
        TGridFixture fx;
        std::fill(fx.grid.begin(), fx.grid.end(), 0xA5);
        fx.p[7] = 42;
        const std::vector<std::uint8_t> image = ProgramImage(program);
        TConvertInput in;
        in.code = image.data();
        in.length = static_cast<std::uint32_t>(image.size());
        in.used = static_cast<std::uint32_t>(AssembleLines(program).size());
        const TConvertResult r = ConvertCodeToGrid(in, fx.target);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.cause, cause) << ConvertFailureName(r.cause);
        EXPECT_TRUE(std::all_of(fx.grid.begin(), fx.grid.end(), [](std::uint8_t b) { return b == 0xA5; }));
        EXPECT_EQ(fx.p[7], 42);
        EXPECT_EQ(std::count(fx.p.begin(), fx.p.end(), -1), 255);
    }
}

TEST(CodeToLadder, RefusesWordsItCannotDraw) {
    const std::vector<std::pair<std::vector<std::uint16_t>, TConvertFailure>> refused = {
        {{0x2400, 0x1234, 0xC500, 0x000F}, TConvertFailure::UnknownWord},   // no instruction
        {{0x2400, 0xC400, 0x000F}, TConvertFailure::ErrorWord},            // OUT of the error word
        {{0xB100, 0x2400, 0xC500, 0x000F}, TConvertFailure::UnknownWord},  // P256: beyond the table
        {{0xBB84, 0x2400, 0xC500, 0x000F}, TConvertFailure::UnknownWord},  // I900: beyond the table
        {{0x2F00, 0xC500, 0x000F}, TConvertFailure::BadOperand},           // LD of no device
        {{0x2400, 0xC401, 0x000F}, TConvertFailure::ErrorWord},            // OUT of an input
    };
    for (const auto& [words, cause] : refused) {
        std::vector<std::uint8_t> image(3616, 0xFF);
        for (std::size_t k = 0; k < words.size(); ++k) {
            image[2 * k] = static_cast<std::uint8_t>(words[k] & 0xFF);
            image[2 * k + 1] = static_cast<std::uint8_t>(words[k] >> 8);
        }
        TGridFixture fx;
        TConvertInput in{image.data(), 3616, static_cast<std::uint32_t>(words.size() * 2), false, nullptr};
        const TConvertResult r = ConvertCodeToGrid(in, fx.target);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.cause, cause) << ConvertFailureName(r.cause);
        EXPECT_TRUE(std::all_of(fx.grid.begin(), fx.grid.end(), [](std::uint8_t b) { return b == 0; }));
    }
    // An instruction cut off by the end of the code.
    std::vector<std::uint8_t> cut = AssembleLines({"LD X0", "MOV K1 D0"});
    cut.resize(cut.size() - 2);
    TGridFixture fx;
    TConvertInput in{cut.data(), static_cast<std::uint32_t>(cut.size()), static_cast<std::uint32_t>(cut.size()), false, nullptr};
    EXPECT_EQ(ConvertCodeToGrid(in, fx.target).cause, TConvertFailure::CodeOverrun);
}

// Each limit: the largest program within it converts, one step more is refused.
TEST(CodeToLadder, NestingAndHeightLimits) {
    std::vector<std::string> ten = {"LD X0"};
    for (int k = 0; k < 10; ++k) ten.push_back("MPS");
    ten.push_back("OUT Y0");
    for (int k = 0; k < 10; ++k) {
        ten.push_back("MPP");
        ten.push_back("OUT M" + std::to_string(k + 1));
    }
    ten.push_back("END");
    EXPECT_TRUE(Convert(ten).result.ok);
    std::vector<std::string> eleven = ten;
    eleven.insert(eleven.begin() + 1, "MPS");
    EXPECT_EQ(Convert(eleven).result.cause, TConvertFailure::MpsOverflow);

    // Nine nested blocks outside a step; a tenth is too deep.
    const auto nested = [](int loads) {
        std::vector<std::string> p;
        for (int k = 0; k < loads; ++k) p.push_back("LD M" + std::to_string(k));
        for (int k = 1; k < loads; ++k) p.push_back("ANB");
        p.push_back("OUT Y0");
        p.push_back("END");
        return p;
    };
    EXPECT_TRUE(Convert(nested(9)).result.ok);
    EXPECT_EQ(Convert(nested(10)).result.cause, TConvertFailure::TooDeep);

    // 256 rows of one network at most (END joins the network of the last output).
    const auto tall = [](int ors) {
        std::vector<std::string> p = {"LD X0"};
        for (int k = 0; k < ors; ++k) p.push_back("OR X1");
        p.push_back("OUT Y0");
        p.push_back("END");
        return p;
    };
    const TConverted ok = Convert(tall(254));
    ASSERT_TRUE(ok.result.ok) << ConvertFailureName(ok.result.cause);
    EXPECT_EQ(ok.result.rowCount, 256);
    EXPECT_EQ(Convert(tall(255)).result.cause, TConvertFailure::TooTall);
}

// A block joined in parallel after an INV is wired on up to the joint.
TEST(CodeToLadder, ParallelBlockEndingInInvIsWiredToTheJoint) {
    const TConverted c = Convert({"LD X0", "AND X1", "AND X2", "LD X3", "INV", "ORB", "OUT Y0", "END"});
    ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
    EXPECT_EQ(c.rows[0], "Open_Ry:hl:X0 Open_Ry:hl:X1 Open_Ry:hl:X2 H_Line:UhDvv" + H(7) + " Out_Ry:hl:Y0");
    EXPECT_EQ(c.rows[1], "Open_Ry:hl:X3 Inv_Ry:hl H_Line:hl non_inst:RD");
}

// Folding moves all rows from one column; a compare or box that covers that
// column in another row moves whole, and a junction on its head stays put.
TEST(CodeToLadder, FoldingKeepsComparesBoxesAndJunctionsWhole) {
    const std::vector<std::vector<std::string>> programs = {
        {"LDP X2", "OR<= D3 K1", "ORP X10", "DOR>= D6 D8", "LDF X3", "ANB", "AND M2000", "AND X4", "MPS",
         "AND<> D1 D2", "RST C0", "MPP", "ZRST M0 M100", "END"},
        {"LD T3", "DAND< D4 K-70000", "MPS", "AND M2000", "ZRST M0 M100", "MRD", "DAND< D4 K-70000", "PLS M7",
         "MPP", "ZRST M0 M100", "END"},
        {"LD X0", "AND<> D1 D2", "DAND< D4 K-70000", "ANDP X5", "CNT C2 K3", "INV", "OUT M1700", "END"},
    };
    for (const std::vector<std::string>& program : programs) {
        SCOPED_TRACE(program[1]);
        const TConverted c = Convert(program);
        ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
        ExpectNormalisedGrid(c.fx, c.result.rowCount);
    }
    // The counter's junction feeds the INV below it; the counter head itself
    // moved to the row's end and carries no link.
    const TConverted c = Convert(programs[2]);
    ASSERT_EQ(c.rows.size(), 5u);
    EXPECT_EQ(c.rows[2], "Re_Line:hl:0000 H_Line:UhDvv" + H(7) + " Spec_Fun:hl:0005 Spec_Token:n0:C2 Spec_Token:n0:K3");
    EXPECT_EQ(c.rows[3], ". Inv_Ry:LD" + H(9) + " Out_Ry:hl:M1700");
}

TEST(CodeToLadder, RefusesWhatDoesNotFitTheTarget) {
    const std::vector<std::string> program = {"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"};
    const std::vector<std::uint8_t> image = ProgramImage(program);
    TConvertInput in{image.data(), static_cast<std::uint32_t>(image.size()), 10, false, nullptr};
    TGridFixture small(2);  // three rows needed
    std::fill(small.grid.begin(), small.grid.end(), 0x5A);
    const TConvertResult r = ConvertCodeToGrid(in, small.target);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.cause, TConvertFailure::GridFull);
    EXPECT_TRUE(std::all_of(small.grid.begin(), small.grid.end(), [](std::uint8_t b) { return b == 0x5A; }));
    TGridFixture exact(3);
    EXPECT_TRUE(ConvertCodeToGrid(in, exact.target).ok);
}

TEST(CodeToLadder, BlockAndRowCommentsComeBack) {
    const std::vector<std::string> program = {"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"};
    TSavedComments comments;
    TBlockCommentRecord first, middle, last;
    SetBlockCommentRow(first.row, "start");
    first.offset = 0;
    SetBlockCommentRow(middle.row, "second rung");
    middle.offset = 4;
    SetBlockCommentRow(last.row, "after the end");
    last.offset = 10;  // the used length
    comments.blocks = {first, middle, last};
    comments.rows = {{1, "drives Y0"}, {40, "no such row"}};
    const TConverted c = Convert(program, &comments);
    ASSERT_TRUE(c.result.ok);
    ASSERT_EQ(c.rows.size(), 6u);
    EXPECT_EQ(c.rows[0], "comment:start");
    EXPECT_EQ(c.rows[2], "comment:second rung");
    EXPECT_EQ(c.rows[5], "comment:after the end");
    const std::vector<TStepMark> marks = {{1, 0}, {3, 2}};
    EXPECT_EQ(c.result.marks, marks);
    const std::vector<TRowComment> rowComments = {{1, "drives Y0"}};
    EXPECT_EQ(c.result.rowComments, rowComments);
}

// The comment files are read only for the code they were written with, only
// when they are regular files, and only up to the size a ladder writes.
TEST(CodeToLadder, CommentFilesNeedTheStampOfTheCodeAndASaneFile) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qel-ladconv-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    TCommentFilePaths paths{dir / "x.tms", dir / "x.tml"};
    const std::vector<std::uint8_t> code = AssembleLines({"LD X0", "OUT Y0", "END"});
    const std::vector<std::uint8_t> other = AssembleLines({"LD X1", "OUT Y0", "END"});
    auto commit = [&] {
        TCommentFileWriter w(paths);
        ASSERT_TRUE(w.Open());
        std::uint8_t row[60];
        SetBlockCommentRow(row, "kept");
        w.AddBlockComment(0, row);
        w.AddRowComment(0, std::string(300, 'c'));  // long lines are read whole
        ASSERT_TRUE(w.Commit(code.data(), static_cast<std::uint32_t>(code.size())));
    };
    commit();
    TSavedComments got;
    ASSERT_TRUE(LoadCommentFilesFor(paths, code.data(), static_cast<std::uint32_t>(code.size()), got));
    ASSERT_EQ(got.blocks.size(), 1u);
    EXPECT_EQ(BlockCommentText(got.blocks[0].row), "kept");
    ASSERT_EQ(got.rows.size(), 1u);
    EXPECT_EQ(got.rows[0].text.size(), 300u);
    // Other code (a read from the PLC) never gets these comments.
    EXPECT_FALSE(LoadCommentFilesFor(paths, other.data(), static_cast<std::uint32_t>(other.size()), got));
    EXPECT_TRUE(got.blocks.empty() && got.rows.empty());
    // A FIFO in Temp under the row-comment name: refused at once, not waited on.
    std::filesystem::remove(paths.rowFile);
    ASSERT_EQ(::mkfifo(paths.rowFile.c_str(), 0644), 0);
    EXPECT_FALSE(LoadCommentFilesFor(paths, code.data(), static_cast<std::uint32_t>(code.size()), got));
    EXPECT_TRUE(got.rows.empty());
    std::filesystem::remove(paths.rowFile);
    // A row-comment file larger than any ladder writes (one line a grid row).
    commit();
    {
        std::ofstream big(paths.rowFile, std::ios::app);
        const std::string line = "1::" + std::string(997, 'c') + "\n";
        for (int i = 0; i < 9 * 1024; ++i) big << line;
    }
    EXPECT_FALSE(LoadCommentFilesFor(paths, code.data(), static_cast<std::uint32_t>(code.size()), got));
    EXPECT_TRUE(got.rows.empty());
    std::filesystem::remove_all(dir);
}

// After an edit of the code (the instruction list), comments follow their
// instructions: block comments stay before them, row comments keep their row
// in their network; those whose instruction is gone are dropped.
TEST(CodeToLadder, CommentsFollowTheirInstructionsThroughAnEdit) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qel-ladconv-edit";
    std::filesystem::create_directories(dir);
    TCommentFilePaths paths{dir / "x.tms", dir / "x.tml"};
    const std::vector<std::string> before = {"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2", "END"};
    const std::vector<std::uint8_t> code = AssembleLines(before);
    {
        // As the compile of this ladder wrote them: comments before the first
        // and second rungs, rung comments on each rung's row.
        TCommentFileWriter w(paths);
        ASSERT_TRUE(w.Open());
        std::uint8_t row[60];
        SetBlockCommentRow(row, "first");
        w.AddBlockComment(0, row);
        SetBlockCommentRow(row, "second");
        w.AddBlockComment(4, row);
        SetBlockCommentRow(row, "third");
        w.AddBlockComment(8, row);
        w.AddRowComment(1, "rung one", 0, 0);
        w.AddRowComment(3, "rung two", 4, 0);
        w.AddRowComment(5, "rung three", 8, 0);
        ASSERT_TRUE(w.Commit(code.data(), static_cast<std::uint32_t>(code.size())));
    }
    // The second rung is rewritten, a contact goes into the first.
    const std::vector<std::string> after = {"LD X0", "AND X5", "OUT Y0", "LD X3", "OUT Y3", "LD X2", "OUT Y2", "END"};
    const std::vector<std::uint8_t> edited = AssembleLines(after);
    TSavedComments got;
    ASSERT_TRUE(LoadCommentFilesFor(paths, edited.data(), static_cast<std::uint32_t>(edited.size()), got));
    const TConverted c = Convert(after, &got);
    ASSERT_TRUE(c.result.ok) << ConvertFailureName(c.result.cause);
    ASSERT_EQ(c.rows.size(), 6u);
    EXPECT_EQ(c.rows[0], "comment:first");
    EXPECT_EQ(c.rows[3], "comment:third");
    EXPECT_EQ(c.result.rowComments,
              (std::vector<TRowComment>{{1, "rung one"}, {4, "rung three"}}));
    std::filesystem::remove_all(dir);
}

TEST(CodeToLadder, ProgramGlobalsAndMessage) {
    AllocateSharedBuffers();
    const std::vector<std::uint8_t> code = AssembleLines({"LD X0", "OUT Y0", "END"});
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    gLadderRows[0] = 0x77;
    gQel.RungComments = {"first", "second", "third", "fourth"};
    EXPECT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(gLadderRowCount, 2);
    EXPECT_EQ(gMarkList.size(), 1u);
    EXPECT_EQ(CellKind(gLadderRows), TLdbKind::Open_Ry);
    // Rung comments of rows the new ladder does not have are gone. Those of
    // rows it has stood in a ladder that never compiled: no rung is known for
    // them, so they are counted, never put beside the rung drawn there now.
    EXPECT_LE(gQel.RungComments.size(), static_cast<std::size_t>(gLadderRowCount));
    EXPECT_TRUE(std::all_of(gQel.RungComments.begin(), gQel.RungComments.end(),
                            [](const std::string& c) { return c.empty(); }));
    EXPECT_EQ(gConvertDroppedComments, 4u);

    // Refused: the ladder stays as it was and message 162 is shown once.
    const std::vector<std::uint8_t> before(gLadderRows, gLadderRows + 600);
    const std::uint16_t bad = 0x1234;
    std::memcpy(gProgram + 2, &bad, 2);
    EXPECT_EQ(ConvertCodeToLadder(), 1);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), gLadderRows));
    std::vector<std::string> texts;
    for (int id = 0; id < 200; ++id) texts.push_back("message " + std::to_string(id));
    gMsgTable.Assign(texts);
    qel::test::ScriptedMessages messages;
    EXPECT_TRUE(ReportConvertAbort());
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_NE(messages.Shown()[0].find("message 162"), std::string::npos) << messages.Shown()[0];
    EXPECT_EQ(gConvertAbort, 0);
    EXPECT_FALSE(ReportConvertAbort());
    FreeSharedBuffers();
}

// A compile never writes a ladder over code it does not stand for: after the
// code changed (an instruction-list edit), or with an empty ladder the code
// was never drawn into, the program stays as it is; the ladder drawn again
// from the code compiles. The code's own ladder emptied is the empty program.
TEST(CodeToLadder, StaleOrEmptyLadderIsNotCompiledOverTheCode) {
    AllocateSharedBuffers();
    SetCurrentFamily(1);
    std::vector<std::string> texts;
    for (int id = 0; id < 260; ++id) texts.push_back("message " + std::to_string(id));
    gMsgTable.Assign(texts);
    const std::vector<std::uint8_t> code = AssembleLines({"LD X0", "OUT Y0", "END"});
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_TRUE(LadderMatchesProgram());
    EXPECT_EQ(CompileProgramLadder(), 0) << CompileFailureText();

    const std::vector<std::uint8_t> edited = AssembleLines({"LD X0", "AND X1", "OUT Y0", "END"});
    std::memcpy(gProgram, edited.data(), edited.size());
    LocateProgramEnd();
    const std::vector<std::uint8_t> image(gProgram, gProgram + gProgramCapacity);
    EXPECT_EQ(CompileProgramLadder(), 1);
    EXPECT_EQ(gCompileResult, kCompileLadderNotOfProgram);
    EXPECT_EQ(CompileFailureText(), "message 251");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), gProgram));

    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(CompileProgramLadder(), 0) << CompileFailureText();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), gProgram));

    // Code the ladder could not be drawn into (an output with no contact)
    // leaves the grid as it was: emptied, it still stands for no code.
    std::memset(gLadderRows, 0, 600);
    const std::vector<std::uint8_t> undrawable = AssembleLines({"OUT Y0", "END"});
    std::memcpy(gProgram, undrawable.data(), undrawable.size());
    LocateProgramEnd();
    EXPECT_NE(ConvertCodeToLadder(), 0);
    const std::vector<std::uint8_t> kept(gProgram, gProgram + gProgramCapacity);
    EXPECT_EQ(CompileProgramLadder(), 1) << "an empty ladder of no code";
    EXPECT_EQ(gCompileResult, kCompileLadderNotOfProgram);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), gProgram));

    // The code's own ladder emptied compiles into the empty program.
    std::memcpy(gProgram, image.data(), image.size());
    LocateProgramEnd();
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    std::memset(gLadderRows, 0, 600);
    EXPECT_EQ(CompileProgramLadder(), 0) << CompileFailureText();
    EXPECT_TRUE(std::all_of(gProgram, gProgram + gProgramCapacity, [](std::uint8_t b) { return b == 0xFF; }));
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(gLadderRowCount, 0) << "the empty program draws the empty ladder";
    std::memcpy(gProgram, image.data(), image.size());
    LocateProgramEnd();
    ASSERT_EQ(ConvertCodeToLadder(), 0);

    // Into an empty program any ladder compiles: nothing can be lost.
    std::memset(gProgram, 0xFF, gProgramCapacity);
    EXPECT_EQ(CompileProgramLadder(), 0) << CompileFailureText();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), gProgram));
    FreeSharedBuffers();
}

// A ladder that compiles into exactly the program's code stands for it
// whatever its stamp says: it compiles, and is marked so. One that compiles
// to other code does not. The check leaves a failure being reported as it was.
TEST(CodeToLadder, ALadderThatCompilesIntoTheProgramStandsForItWhateverItsStamp) {
    AllocateSharedBuffers();
    SetCurrentFamily(1);
    const std::vector<std::uint8_t> code = AssembleLines({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    const std::vector<std::uint8_t> rows(gLadderRows, gLadderRows + 4 * kLadderRowBytes);

    gLadderStamp = 0;  // a stamp that names no code
    gCompileResult = 2;  // the report of an earlier failure
    EXPECT_TRUE(LadderStandsForProgram());
    EXPECT_EQ(gCompileResult, 2);
    EXPECT_TRUE(LadderMatchesProgram()) << "marked as the program's";
    gLadderStamp = 0;
    EXPECT_EQ(CompileProgramLadder(), 0) << CompileFailureText();
    EXPECT_TRUE(std::equal(code.begin(), code.end(), gProgram));
    EXPECT_EQ(std::vector<std::uint8_t>(gLadderRows, gLadderRows + 4 * kLadderRowBytes), rows);

    // The code edited elsewhere: the ladder is a drawing of other code.
    const std::vector<std::uint8_t> edited = AssembleLines({"LD X0", "AND X2", "OUT Y0", "LD X1", "OUT Y1", "END"});
    std::memcpy(gProgram, edited.data(), edited.size());
    LocateProgramEnd();
    const std::uint64_t stamp = gLadderStamp;
    EXPECT_FALSE(LadderStandsForProgram());
    EXPECT_EQ(gLadderStamp, stamp);
    EXPECT_EQ(CompileProgramLadder(), 1);
    EXPECT_EQ(gCompileResult, kCompileLadderNotOfProgram);
    EXPECT_TRUE(std::equal(edited.begin(), edited.end(), gProgram));
    FreeSharedBuffers();
}

// The SFC element's inner ladder: its own grid, grown in steps of 1000 rows,
// its own label tables, no step marks; step code needs no contacts.
TEST(CodeToLadder, SfcInnerLadderGrowsAndKeepsItsOwnLabels) {
    AllocateSharedBuffers();
    std::vector<std::string> lines = {"P5"};
    for (int k = 0; k < 2100; ++k) {
        lines.push_back("LD X0");
        lines.push_back("OUT Y" + std::to_string(k % 8));
    }
    const std::vector<std::uint8_t> code = AssembleLines(lines);
    GrowProgramCopy(static_cast<std::uint32_t>(code.size()));
    std::memcpy(gProgramCopy, code.data(), code.size());
    gProgramCopyUsed = static_cast<std::uint32_t>(code.size());
    FreeMarkList();
    AddMark(7, 7);
    ASSERT_EQ(ConvertSfcCodeToLadder(0), 0);
    EXPECT_EQ(gInterLadderRowCapacity, 3000);
    EXPECT_EQ(CellKind(CellAt(gInterLadderGrid, 2099, 55)), TLdbKind::Out_Ry);
    EXPECT_EQ(CellOperand(CellAt(gInterLadderGrid, 2099, 55)), 2099 % 8);
    EXPECT_TRUE(IsLadderRowEmpty(CellAt(gInterLadderGrid, 2100, 0)));
    EXPECT_EQ(gInterPLabelRows[5], 0);
    EXPECT_EQ(gPLabelRows[5], -1);
    EXPECT_EQ(gMarkList, (std::vector<TStepMark>{{7, 7}}));

    const std::vector<std::uint8_t> step = AssembleLines({"OUT Y1", "LD X1", "OUT Y2"});
    std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    std::memcpy(gProgramCopy, step.data(), step.size());
    gProgramCopyUsed = static_cast<std::uint32_t>(step.size());
    ASSERT_EQ(ConvertSfcCodeToLadder(1), 0);
    EXPECT_EQ(DumpGrid(gInterLadderGrid, 1)[0], "H_Line:hl" + H(10) + " Out_Ry:hl:Y1");
    EXPECT_EQ(gInterPLabelRows[5], -1);
    EXPECT_EQ(ConvertSfcCodeToLadder(0), 1);  // outside a step an output needs a contact
    FreeMarkList();
    FreeSharedBuffers();
}

// Random words of every capacity: the conversion may refuse but never reads
// or writes outside its buffers (the sanitizer build checks that), and a
// refusal leaves the target as it was.
TEST(CodeToLadder, RandomCodeNeverEscapesItsBuffers) {
    std::mt19937 rng(20240611);
    std::vector<std::uint16_t> useful;
    for (int k = 0; k < kInstError; ++k) useful.push_back(gInstOpcode[k]);
    for (std::uint32_t capacity : kCapacities) {
        for (int round = 0; round < 12; ++round) {
            std::vector<std::uint8_t> image(capacity, 0xFF);
            const std::uint32_t used = 2 * (rng() % (capacity / 2));
            for (std::uint32_t b = 0; b < used; b += 2) {
                std::uint16_t w = static_cast<std::uint16_t>(rng());
                if (rng() % 3 == 0) w = useful[rng() % useful.size()];
                if (rng() % 4 == 0) w = static_cast<std::uint16_t>(0x2000 + (rng() % 6) * 0x1000 + rng() % 0x600);
                image[b] = static_cast<std::uint8_t>(w & 0xFF);
                image[b + 1] = static_cast<std::uint8_t>(w >> 8);
            }
            TGridFixture fx(600);
            TConvertInput in{image.data(), capacity, used, round % 2 == 1, nullptr};
            const TConvertResult r = ConvertCodeToGrid(in, fx.target);
            if (r.ok) {
                EXPECT_LE(r.rowCount, fx.target.rowCapacity);
            } else {
                EXPECT_TRUE(std::all_of(fx.grid.begin(), fx.grid.end(), [](std::uint8_t b) { return b == 0; }));
            }
        }
    }
}

// The program's lines, END added, put into the program image.
void PutProgramLines(std::vector<std::string> lines) {
    lines.push_back("END");
    const std::vector<std::uint8_t> image = ProgramImage(lines, gProgramCapacity);
    std::memcpy(gProgram, image.data(), gProgramCapacity);
    LocateProgramEnd();
}

// The program of a rung "LD Xn", "OUT Yn" per number, then END.
void PutRungs(const std::vector<std::string>& numbers) {
    std::vector<std::string> lines;
    for (const std::string& n : numbers) {
        lines.push_back("LD X" + n);
        lines.push_back("OUT Y" + n);
    }
    PutProgramLines(lines);
}

// What the program's ladder shows: per row its contacts' and coils' devices
// ("X1 Y1", END's row ""), or "# text" for a block comment; then " // text"
// for a rung comment.
std::vector<std::string> ShownRows() {
    std::vector<std::string> rows;
    const std::vector<std::string> dump = DumpGrid(gLadderRows, gLadderRowCount);
    for (std::size_t r = 0; r < dump.size(); ++r) {
        std::string text;
        if (IsBlockCommentRow(gLadderRows + r * kLdbRowBytes)) {
            text = "# " + BlockCommentText(gLadderRows + r * kLdbRowBytes);
        } else {
            std::istringstream cells(dump[r]);
            for (std::string cell; cells >> cell;)
                if (cell.rfind("Open_Ry:", 0) == 0 || cell.rfind("Close_Ry:", 0) == 0 || cell.rfind("Out_Ry:", 0) == 0)
                    text += (text.empty() ? "" : " ") + cell.substr(cell.rfind(':') + 1);
        }
        if (r < gQel.RungComments.size() && !gQel.RungComments[r].empty()) text += " // " + gQel.RungComments[r];
        rows.push_back(text);
    }
    return rows;
}

}  // namespace

// The program's conversion carries the comments its ladder holds onto changed
// code: a block comment stays before its instruction and a rung comment with
// its rung, each once; one whose rung is gone is counted as dropped.
TEST(CodeToLadder, TheLaddersCommentsGoWithTheirRungsOntoChangedCode) {
    AllocateSharedBuffers();
    SetCurrentFamily(1);
    DiscardCommentFiles(ProgramCommentFiles());
    gQel.RungComments.clear();
    const auto put = [](const std::vector<std::string>& lines) {
        const std::vector<std::uint8_t> image = ProgramImage(lines, gProgramCapacity);
        std::memcpy(gProgram, image.data(), gProgramCapacity);
        LocateProgramEnd();
    };
    // What the ladder shows: per row its devices, or "# text" for a block comment.
    const auto shown = [] {
        std::vector<std::string> rows;
        for (const std::string& r : DumpGrid(gLadderRows, gLadderRowCount)) {
            std::string devices;
            for (const char* d : {"X0", "X1", "X5", "Y0", "Y1", "Y5", "000F"})
                if (r.find(std::string(":") + d) != std::string::npos) devices += (devices.empty() ? "" : " ") + std::string(d);
            rows.push_back(devices);
        }
        for (std::int32_t r = 0; r < gLadderRowCount; ++r)
            if (IsBlockCommentRow(gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes))
                rows[static_cast<std::size_t>(r)] = "# " + BlockCommentText(gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes);
        return rows;
    };
    put({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    ASSERT_EQ(shown(), (std::vector<std::string>{"X0 Y0", "X1 Y1", "000F"}));
    // The user's comments: "Valves" above the X1 rung, "valve" beside it.
    std::memmove(gLadderRows + 2 * kLdbRowBytes, gLadderRows + kLdbRowBytes, 2 * kLdbRowBytes);
    SetBlockCommentRow(gLadderRows + kLdbRowBytes, "Valves");
    gLadderRowCount = 4;
    gQel.RungComments = {"", "", "valve"};

    put({"LD X5", "OUT Y5", "LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(shown(), (std::vector<std::string>{"X5 Y5", "X0 Y0", "# Valves", "X1 Y1", "000F"}));
    EXPECT_EQ(gQel.RungComments, (std::vector<std::string>{"", "", "", "valve"}));
    EXPECT_EQ(gConvertDroppedComments, 0u);

    // The X1 rung deleted: its comment goes and is counted; the block comment
    // keeps its place behind the X0 rung, which END now ends, so after it.
    put({"LD X5", "OUT Y5", "LD X0", "OUT Y0", "END"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(shown(), (std::vector<std::string>{"X5 Y5", "X0 Y0", "000F", "# Valves"}));
    EXPECT_TRUE(std::all_of(gQel.RungComments.begin(), gQel.RungComments.end(),
                            [](const std::string& c) { return c.empty(); }));
    EXPECT_EQ(gConvertDroppedComments, 1u);
    gConvertDroppedComments = 0;
    gQel.RungComments.clear();
    FreeSharedBuffers();
}

// List edits in several places, then the program's conversion: each comment
// stays with its own rung whatever was edited above, between or below it; one
// whose rung is gone is dropped and counted; a program that has little in
// common with the ladder's takes none of them.
TEST(CodeToLadder, CommentsStayWithTheirRungsThroughSeparateEdits) {
    AllocateSharedBuffers();
    SetCurrentFamily(1);
    DiscardCommentFiles(ProgramCommentFiles());
    using Lines = std::vector<std::string>;
    const auto put = PutRungs;
    const auto shown = ShownRows;
    // The user's ladder of rungs X0..X7: "Motor" above X1's rung, "pump"
    // beside X3's, "Valves" above X5's, "fan" beside X7's.
    const auto commented = [&] {
        gQel.RungComments.clear();
        std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLdbRowBytes);
        put({"0", "1", "2", "3", "4", "5", "6", "7"});
        ASSERT_EQ(ConvertCodeToLadder(), 0);
        const std::vector<std::uint8_t> drawn(gLadderRows, gLadderRows + gLadderRowCount * kLdbRowBytes);
        std::int32_t out = 0;
        for (std::int32_t r = 0; r < gLadderRowCount; ++r) {
            if (r == 1 || r == 5) SetBlockCommentRow(gLadderRows + out++ * kLdbRowBytes, r == 1 ? "Motor" : "Valves");
            std::memcpy(gLadderRows + out++ * kLdbRowBytes, drawn.data() + r * kLdbRowBytes, kLdbRowBytes);
        }
        gLadderRowCount = out;
        gQel.RungComments.assign(static_cast<std::size_t>(out), std::string());
        gQel.RungComments[4] = "pump";
        gQel.RungComments[9] = "fan";
        ASSERT_EQ(shown(), (Lines{"X0 Y0", "# Motor", "X1 Y1", "X2 Y2", "X3 Y3 // pump", "X4 Y4", "# Valves", "X5 Y5",
                                  "X6 Y6", "X7 Y7 // fan", ""}));
    };

    // Two edits: a rung typed at the top, another at the end.
    ASSERT_NO_FATAL_FAILURE(commented());
    put({"10", "0", "1", "2", "3", "4", "5", "6", "7", "11"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(shown(), (Lines{"X10 Y10", "X0 Y0", "# Motor", "X1 Y1", "X2 Y2", "X3 Y3 // pump", "X4 Y4", "# Valves",
                              "X5 Y5", "X6 Y6", "X7 Y7 // fan", "X11 Y11", ""}));
    EXPECT_EQ(gConvertDroppedComments, 0u);

    // Three: a rung at the top, X2's deleted, one typed just before X5's:
    // "Valves" stays above X5's rung, which it was written for.
    ASSERT_NO_FATAL_FAILURE(commented());
    put({"10", "0", "1", "3", "4", "11", "5", "6", "7"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(shown(), (Lines{"X10 Y10", "X0 Y0", "# Motor", "X1 Y1", "X3 Y3 // pump", "X4 Y4", "X11 Y11", "# Valves",
                              "X5 Y5", "X6 Y6", "X7 Y7 // fan", ""}));
    EXPECT_EQ(gConvertDroppedComments, 0u);

    // The commented rungs X3 and X5 deleted apart from each other and a rung
    // typed at the top: "pump" goes and is counted; "Valves" keeps its place,
    // before the rung that now stands there.
    ASSERT_NO_FATAL_FAILURE(commented());
    put({"10", "0", "1", "2", "4", "6", "7"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(shown(), (Lines{"X10 Y10", "X0 Y0", "# Motor", "X1 Y1", "X2 Y2", "X4 Y4", "# Valves", "X6 Y6",
                              "X7 Y7 // fan", ""}));
    EXPECT_EQ(gConvertDroppedComments, 1u);

    // Another program that merely ends with the X7 rung: all four go.
    ASSERT_NO_FATAL_FAILURE(commented());
    put({"20", "21", "22", "23", "24", "25", "26", "7"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    EXPECT_EQ(shown(), (Lines{"X20 Y20", "X21 Y21", "X22 Y22", "X23 Y23", "X24 Y24", "X25 Y25", "X26 Y26", "X7 Y7", ""}));
    EXPECT_EQ(gConvertDroppedComments, 4u);

    gConvertDroppedComments = 0;
    gQel.RungComments.clear();
    FreeSharedBuffers();
}

// A long program edited in its middle, then converted: the comments on the
// unchanged rungs before and after the edit stay with them, also when the
// edit changed more instructions than the comparison works out (then only
// those unchanged ends are found again).
TEST(CodeToLadder, CommentsOfALongProgramStayWithTheRungsAnEditLeft) {
    AllocateSharedBuffers();
    SetCurrentFamily(1);
    DiscardCommentFiles(ProgramCommentFiles());
    using Lines = std::vector<std::string>;
    const auto times = [](std::size_t n, const std::string& item) { return Lines(n, item); };
    const auto join = [](std::initializer_list<Lines> parts) {
        Lines all;
        for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    // 150 rungs before the middle, 251 in it, 150 after.
    const auto put = PutRungs;
    const Lines head = join({{"0", "1", "2", "3"}, times(146, "4")});
    const Lines tail = join({times(147, "6"), {"5", "6", "7"}});
    // What the ladder shows of the head and the tail: "Motor" above X1's
    // rung, "pump" beside X3's, "Valves" above X5's, "fan" beside X7's.
    const Lines headShown = join({{"X0 Y0", "# Motor", "X1 Y1", "X2 Y2", "X3 Y3 // pump"}, times(146, "X4 Y4")});
    const Lines tailShown = join({times(147, "X6 Y6"), {"# Valves", "X5 Y5", "X6 Y6", "X7 Y7 // fan", ""}});
    const struct {
        const char* path;
        Lines middle;   // the rungs the edit put in place of 251 rungs of X10
        Lines shown;    // the middle's rows
    } rows[] = {
        {"OneRungTypedInTheMiddle", join({times(125, "10"), {"11"}, times(126, "10")}),
         join({times(125, "X10 Y10"), {"X11 Y11"}, times(126, "X10 Y10")})},
        {"TheWholeMiddleReplacedPastTheComparisonsLimit", times(251, "11"), times(251, "X11 Y11")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        // The user's ladder with its four comments.
        gQel.RungComments.clear();
        std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLdbRowBytes);
        put(join({head, times(251, "10"), tail}));
        ASSERT_EQ(ConvertCodeToLadder(), 0);
        const std::vector<std::uint8_t> drawn(gLadderRows, gLadderRows + gLadderRowCount * kLdbRowBytes);
        const std::int32_t x5 = gLadderRowCount - 4;  // END's row last
        std::int32_t out = 0;
        for (std::int32_t r = 0; r < gLadderRowCount; ++r) {
            if (r == 1 || r == x5) SetBlockCommentRow(gLadderRows + out++ * kLdbRowBytes, r == 1 ? "Motor" : "Valves");
            std::memcpy(gLadderRows + out++ * kLdbRowBytes, drawn.data() + r * kLdbRowBytes, kLdbRowBytes);
        }
        gLadderRowCount = out;
        gQel.RungComments.assign(static_cast<std::size_t>(out), std::string());
        gQel.RungComments[4] = "pump";
        gQel.RungComments[static_cast<std::size_t>(out) - 2] = "fan";
        ASSERT_EQ(ShownRows(), join({headShown, times(251, "X10 Y10"), tailShown}));

        put(join({head, row.middle, tail}));
        ASSERT_EQ(ConvertCodeToLadder(), 0);
        EXPECT_EQ(ShownRows(), join({headShown, row.shown, tailShown}));
        EXPECT_EQ(gConvertDroppedComments, 0u);
    }
    gConvertDroppedComments = 0;
    gQel.RungComments.clear();
    FreeSharedBuffers();
}

// A rung comment goes with its rung, not with the contact the rung starts
// with: when the list changes that contact, adds one or splits the rung, the
// comment stays beside the rung's output, on its own row while the rung still
// has it. It goes (and is counted) only with the whole rung, or when another
// comment already stands on its row.
TEST(CodeToLadder, ARungCommentStaysWithItsOutputWhenItsFirstInstructionIsEdited) {
    AllocateSharedBuffers();
    SetCurrentFamily(1);
    DiscardCommentFiles(ProgramCommentFiles());
    using Lines = std::vector<std::string>;
    const auto put = PutProgramLines;
    const auto shown = ShownRows;
    // "Pump start" beside X0-Y0, "Fan" beside X1-Y1, "Heater" on the second
    // row of the X5 rung (its OR X6).
    const Lines plant = {"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X5", "OR X6", "OUT Y5"};
    const auto commented = [&] {
        put(plant);
        ASSERT_EQ(ConvertCodeToLadder(), 0);
        gQel.RungComments = {"Pump start", "Fan", "", "Heater"};
        ASSERT_EQ(shown(), (Lines{"X0 Y0 // Pump start", "X1 Y1 // Fan", "X5 Y5", "X6 // Heater", ""}));
    };
    const auto convert = [&](const Lines& lines) {
        put(lines);
        EXPECT_EQ(ConvertCodeToLadder(), 0);
        return shown();
    };

    // Each rung's first contact changed: LD X0 to LD X2, LD X5 to LD X7.
    ASSERT_NO_FATAL_FAILURE(commented());
    EXPECT_EQ(convert({"LD X2", "OUT Y0", "LD X1", "OUT Y1", "LD X7", "OR X6", "OUT Y5"}),
              (Lines{"X2 Y0 // Pump start", "X1 Y1 // Fan", "X7 Y5", "X6 // Heater", ""}));
    EXPECT_EQ(gConvertDroppedComments, 0u);

    // LD X1 to LDI X1 and a contact added after it.
    ASSERT_NO_FATAL_FAILURE(commented());
    EXPECT_EQ(convert({"LD X0", "OUT Y0", "LDI X1", "AND X3", "OUT Y1", "LD X5", "OR X6", "OUT Y5"}),
              (Lines{"X0 Y0 // Pump start", "X1 X3 Y1 // Fan", "X5 Y5", "X6 // Heater", ""}));
    EXPECT_EQ(gConvertDroppedComments, 0u);

    // The X5 rung split in two: "Heater" goes with Y5, on that rung's only row.
    ASSERT_NO_FATAL_FAILURE(commented());
    EXPECT_EQ(convert({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X5", "OUT Y6", "LD X6", "OUT Y5"}),
              (Lines{"X0 Y0 // Pump start", "X1 Y1 // Fan", "X5 Y6", "X6 Y5 // Heater", ""}));
    EXPECT_EQ(gConvertDroppedComments, 0u);

    // The X1 rung deleted whole: "Fan" goes, counted, though X0's changed too.
    ASSERT_NO_FATAL_FAILURE(commented());
    EXPECT_EQ(convert({"LD X2", "OUT Y0", "LD X5", "OR X6", "OUT Y5"}),
              (Lines{"X2 Y0 // Pump start", "X5 Y5", "X6 // Heater", ""}));
    EXPECT_EQ(gConvertDroppedComments, 1u);

    // The first two rungs made one: one row, one comment; the other is counted.
    ASSERT_NO_FATAL_FAILURE(commented());
    EXPECT_EQ(convert({"LD X2", "OUT Y0", "OUT Y1", "LD X5", "OR X6", "OUT Y5"}),
              (Lines{"X2 Y0 // Pump start", "Y1", "X5 Y5", "X6 // Heater", ""}));
    EXPECT_EQ(gConvertDroppedComments, 1u);

    // The compile's hand-over files carry the rung the same way; a stamp of
    // an older version, which names the first instruction alone, as before.
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qel-ladconv-rung";
    std::filesystem::create_directories(dir);
    const TCommentFilePaths paths{dir / "x.tms", dir / "x.tml"};
    const std::vector<std::uint8_t> code = AssembleLines({"LD X0", "OUT Y0", "END"});
    const std::vector<std::uint8_t> edited = AssembleLines({"LD X2", "OUT Y0", "END"});
    {
        TCommentFileWriter w(paths);
        ASSERT_TRUE(w.Open());
        w.AddRowComment(0, "Pump start", 0, 0, 4);
        ASSERT_TRUE(w.Commit(code.data(), static_cast<std::uint32_t>(code.size())));
    }
    TSavedComments got;
    ASSERT_TRUE(LoadCommentFilesFor(paths, edited.data(), static_cast<std::uint32_t>(edited.size()), got));
    EXPECT_EQ(Convert({"LD X2", "OUT Y0", "END"}, &got).result.rowComments,
              (std::vector<TRowComment>{{0, "Pump start"}}));
    std::string stamp;
    {
        std::ifstream in(paths.StampFile());
        stamp.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::size_t place = stamp.find("R 0 0 0 4\n");
    ASSERT_NE(place, std::string::npos) << stamp;
    stamp.replace(place, 10, "R 0 0 0\n");
    std::ofstream(paths.StampFile(), std::ios::trunc) << stamp;
    EXPECT_FALSE(LoadCommentFilesFor(paths, edited.data(), static_cast<std::uint32_t>(edited.size()), got));
    ASSERT_TRUE(LoadCommentFilesFor(paths, code.data(), static_cast<std::uint32_t>(code.size()), got));
    EXPECT_EQ(got.rows, (std::vector<TRowComment>{{0, "Pump start"}}));
    std::filesystem::remove_all(dir);

    gConvertDroppedComments = 0;
    gQel.RungComments.clear();
    FreeSharedBuffers();
}
