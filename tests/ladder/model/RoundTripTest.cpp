// Code to ladder to code over a corpus of instruction-list programs: every
// program the conversion accepts compiles back to the same machine words, and
// a second round trip changes neither the code nor the ladder.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <string>
#include <vector>

#include "IlProgram.h"
#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "ladder/model/Test.h"

namespace {

using qel::test::AssembleLines;
using qel::test::ListingOf;

constexpr std::uint32_t kCapacity = 7584;
constexpr std::int32_t kRows = 2000;

struct TLadder {
    std::vector<std::uint8_t> grid = std::vector<std::uint8_t>(static_cast<std::size_t>(kRows) * kLdbRowBytes, 0);
    std::vector<std::int32_t> p = std::vector<std::int32_t>(kPLabelCount, -1);
    std::vector<std::int32_t> i = std::vector<std::int32_t>(kILabelCount, -1);
};

// Converts `image` (kCapacity bytes, `used` of them code) into a ladder.
bool ToLadder(const std::vector<std::uint8_t>& image, std::uint32_t used, TLadder& lad) {
    TConvertInput in;
    in.code = image.data();
    in.length = kCapacity;
    in.used = used;
    TLadderTarget target;
    target.grid = lad.grid.data();
    target.rowCapacity = kRows;
    target.labels = TLabelTables{lad.p.data(), lad.i.data()};
    return ConvertCodeToGrid(in, target).ok;
}

// Compiles a ladder into a fresh image; false with the failure text.
bool ToCode(TLadder& lad, std::vector<std::uint8_t>& image, std::string& why) {
    image.assign(kCapacity, 0x00);
    TCompileTarget t;
    t.grid = lad.grid.data();
    t.gridRows = kRows;
    t.lastRow = FindLastUsedRow(lad.grid.data(), kLdbRowBytes, kRows - 1);
    t.labels = TLabelTables{lad.p.data(), lad.i.data()};
    t.code = image.data();
    t.capacity = kCapacity;
    if (CompileLadder(t) != 0) {
        why = CompileFailureText() + " / " + gInputText;
        return false;
    }
    return true;
}

std::vector<std::uint8_t> Image(const std::vector<std::uint8_t>& code) {
    std::vector<std::uint8_t> image(code);
    image.resize(kCapacity, 0xFF);
    return image;
}

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentFamily(1); }

    // Runs code -> ladder -> code twice. Returns false when the conversion
    // refuses the program; otherwise expects `expected` (the program itself
    // unless a normalisation applies) and a fixpoint.
    bool Check(const std::vector<std::string>& lines, const std::vector<std::string>& expectedLines = {}) {
        const auto code = AssembleLines(lines);
        const auto expected = expectedLines.empty() ? code : AssembleLines(expectedLines);
        TLadder first;
        if (!ToLadder(Image(code), static_cast<std::uint32_t>(code.size()), first)) return false;
        std::vector<std::uint8_t> out;
        std::string why;
        EXPECT_TRUE(ToCode(first, out, why)) << why << "\n" << ListingOf(code);
        EXPECT_EQ(out, Image(expected)) << "program:\n" << ListingOf(code) << "came back as:\n"
                                        << ListingOf({out.begin(), out.begin() + std::min<std::size_t>(out.size(), 200)});
        // The checker's verdict does not change on the way.
        std::int32_t steps[2];
        CheckProgramSyntax(expected.data(), static_cast<std::uint32_t>(expected.size()), steps);
        const std::uint16_t before = gSyntaxError;
        CheckProgramSyntax(out.data(), static_cast<std::uint32_t>(expected.size()), steps);
        EXPECT_EQ(gSyntaxError, before);

        TLadder second;
        EXPECT_TRUE(ToLadder(out, static_cast<std::uint32_t>(expected.size()), second));
        EXPECT_EQ(second.grid, first.grid) << "a second conversion draws the same ladder\n" << ListingOf(code);
        EXPECT_EQ(second.p, first.p);
        EXPECT_EQ(second.i, first.i);
        std::vector<std::uint8_t> again;
        EXPECT_TRUE(ToCode(second, again, why)) << why;
        EXPECT_EQ(again, out);
        return true;
    }
};

const std::vector<std::vector<std::string>> kCorpus = {
    {"LD X0", "OUT Y0", "END"},
    {"END"},
    {"LD X0", "AND X1", "ANI X2", "OUT Y0", "END"},
    {"LDI X0", "OR X1", "ORI M5", "OUT Y0", "END"},
    {"LD X0", "OR X1", "AND X2", "OR X3", "OUT Y0", "END"},
    {"LD X0", "AND X1", "LD X2", "AND X3", "ORB", "OUT Y0", "END"},
    {"LD X0", "LD X1", "OR X2", "ANB", "OUT Y0", "END"},
    {"LD X0", "AND X1", "LD X2", "LD X3", "OR X4", "ANB", "ORB", "OUT Y0", "END"},
    {"LD X0", "MPS", "AND X1", "OUT Y0", "MRD", "AND X2", "OUT Y1", "MPP", "AND X3", "OUT Y2", "END"},
    {"LD X0", "MPS", "LD X1", "OR X2", "ANB", "OUT Y0", "MPP", "OUT Y1", "END"},
    {"LD X0", "OUT Y0", "OUT Y1", "SET M0", "END"},
    {"LD X0", "OUT Y0", "AND X1", "OUT Y1", "END"},
    {"STL S0", "LD X0", "OUT Y0", "LD X1", "SET S1", "STL S1", "OUT Y1", "RET", "END"},
    {"STL S0", "OUT Y0", "LD X1", "OR X2", "SET S2", "RET", "END"},
    {"LDP X0", "ANDF X1", "ORP X2", "OUT Y0", "LDF X3", "ORF X4", "OUT Y1", "END"},
    {"LD= D0 K5", "AND> D1 K-3", "OUT Y0", "DLD< D0 K100000", "DOR>= D2 K0", "OUT Y1", "END"},
    {"LD X0", "OR<> D4 K7", "OUT Y0", "END"},
    {"LD M2000", "AND M1536", "OUT M1600", "SET M3000", "END"},
    {"LD X0", "MOV K4M0F1 D0E", "DMOV K-1 D2", "MOV H0F D4", "MOV K-5 D6", "END"},
    {"LD X0", "INV", "OUT Y0", "END"},
    {"LD X0", "CJ P1", "LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2", "END"},
    {"LD X0", "OUT Y0", "FEND", "I100", "LD X1", "OUT Y1", "IRET", "END"},
    {"LD X0", "MC N0", "LD X1", "OUT Y0", "MCR N0", "END"},
    {"LD X0", "ASC ABCDEFGH D0", "END"},
    {"LD X0", "RST C0", "RST D10", "END"},
    {"LD X0", "TMR T0 K10", "LD T0", "CNT C0 K5", "LD C0", "DCNT C200 K100000", "LD C200", "OUT Y0", "END"},
    {"LD X1", "MPS", "AND X2", "TMR T1 D0", "MPP", "CNT C1 D1", "END"},
    {"LD X0", "MOV D10E7 D20F7", "DMOV K100000 D0E3", "MOV K2X0E1 K4Y0F2", "END"},
    {"LDP M2000", "ANDF M1600", "ORP M3000", "OUT Y0", "END"},
    {"LD X0", "TMR T0 K10", "LD T0", "CNT C0 K5", "LD C0", "DCNT C200 K100000", "LD C200", "OUT Y0", "END"},
    {"LD X1", "MPS", "AND X2", "TMR T1 D0", "MPP", "CNT C1 D1", "END"},
    {"LD X0", "MOV D10E7 D20F7", "DMOV K100000 D0E3", "MOV K2X0E1 K4Y0F2", "END"},
    {"LDP M2000", "ANDF M1600", "ORP M3000", "OUT Y0", "END"},
    {"LD X0", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11", "AND X12",
     "AND X13", "AND X14", "AND X15", "OUT Y0", "END"},
    {"LD X0", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11", "AND X12",
     "AND X13", "OR X14", "AND X15", "OUT Y0", "END"},
    {"LD X0", "MPS", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11",
     "AND X12", "AND X13", "OUT Y0", "MPP", "AND X14", "OUT Y1", "END"},
    {"LD X0", "OUT Y0", "MPS", "AND X1", "OUT Y1", "MPP", "AND X2", "OUT Y2", "END"},
    {"LD X0", "AND X1", "OR X2", "AND X3", "OUT Y0", "END"},
    {"LD X0", "LD X1", "AND X2", "LD X3", "AND X4", "ORB", "ANB", "OUT Y0", "END"},
    {"LD X0", "OR X1", "LD X2", "OR X3", "ANB", "OUT Y0", "END"},
    {"LD X0", "MPS", "AND X1", "MPS", "AND X2", "OUT Y0", "MPP", "AND X3", "OUT Y1", "MPP", "AND X4", "OUT Y2", "END"},
    {"STL S0", "STL S1", "LD X0", "SET S2", "RET", "END"},
    {"LD< D0 K10", "OR= D1 K0", "OUT Y0", "END"},
    {"LD X0", "DMOV K100000 D0", "DADD D0 K-200000 D2", "END"},
    {"LD X0", "AND X1", "OUT Y0", "LD X2", "OUT Y1", "LD X3", "OUT Y2", "END"},
    {"LD X0", "SET S0", "STL S0", "LD X1", "OUT Y0", "LD X2", "SET S1", "STL S1", "LD X3", "OUT Y1", "RET", "END"},
    {"LD M100", "OUT Y0", "FEND", "P10", "LD X1", "OUT Y1", "SRET", "END"},
    {"LD X0", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11",
     "AND X12", "AND X13", "MOV K10 D0", "MOV K20 D1", "END"},
    {"LD X0", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11",
     "AND X12", "AND X13", "MPS", "AND X14", "OUT Y0", "MPP", "LD X15", "OR X16", "ANB", "DMOV K100000 D0", "END"},
    {"LD X0", "OR X1", "OR X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11", "AND X12",
     "AND X13", "AND X14", "AND X15", "AND X16", "AND X17", "AND X20", "AND X21", "AND X22", "AND X23", "AND X24",
     "AND X25", "AND X26", "AND X27", "OR X30", "OUT Y0", "END"},
};

TEST_F(RoundTrip, CorpusComesBackUnchanged) {
    int converted = 0;
    for (const auto& program : kCorpus) {
        SCOPED_TRACE(program.front() + " ... (" + std::to_string(program.size()) + " lines)");
        if (Check(program)) ++converted;
    }
    // The conversion accepts the whole corpus; a refusal would hide a fault here.
    EXPECT_EQ(converted, static_cast<int>(kCorpus.size()));
}

// What the conversion and compile normalise, once; each normal form is a
// fixpoint of its own:
// - NOP words inside the code vanish;
// - a block of one contact takes the contact's own form (LD LD ORB is LD OR,
//   LD LD ANB is LD AND);
// - the stack instructions of output branches take their canonical form: no
//   MPS when the branches have no contacts of their own, and an MRD before a
//   last branch without contacts becomes the MPP (that branch then needs none).
TEST_F(RoundTrip, NormalisationsHappenOnce) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"LD X0", "NOP", "OUT Y0", "END"}, {"LD X0", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "ORB", "OUT Y0", "END"}, {"LD X0", "OR X1", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "LD X2", "ORB", "ORB", "OUT Y0", "END"}, {"LD X0", "OR X1", "OR X2", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "AND X2", "ANB", "OUT Y0", "END"}, {"LD X0", "AND X1", "AND X2", "OUT Y0", "END"}},
        {{"LD X0", "MPS", "OUT Y0", "MPP", "OUT Y1", "END"}, {"LD X0", "OUT Y0", "OUT Y1", "END"}},
        {{"LD X0", "MPS", "AND X1", "OUT Y0", "MRD", "OUT Y1", "MPP", "AND X2", "OUT Y2", "END"},
         {"LD X0", "MPS", "AND X1", "OUT Y0", "MPP", "OUT Y1", "AND X2", "OUT Y2", "END"}},
    };
    for (const auto& [program, normal] : cases) {
        SCOPED_TRACE(program[1] + " " + program[2]);
        EXPECT_NE(AssembleLines(program), AssembleLines(normal));
        EXPECT_TRUE(Check(program, normal));
        EXPECT_TRUE(Check(normal));
    }
}

}  // namespace
