// Code to ladder to code over a corpus of instruction-list programs: every
// program the conversion accepts compiles back to the same machine words, and
// a second round trip changes neither the code nor the ladder.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "IlProgram.h"
#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "platform/Clock.h"
#include "simulator/SimEngine.h"

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
// With `condition` the code is a transition's (step code, a bare condition allowed).
// With `marks` the conversion's step marks go there.
bool ToLadder(const std::vector<std::uint8_t>& image, std::uint32_t used, TLadder& lad, bool condition = false,
              std::vector<TStepMark>* marks = nullptr) {
    TConvertInput in;
    in.code = image.data();
    in.length = kCapacity;
    in.used = used;
    in.stepCode = in.condition = condition;
    TLadderTarget target;
    target.grid = lad.grid.data();
    target.rowCapacity = kRows;
    target.labels = TLabelTables{lad.p.data(), lad.i.data()};
    TConvertResult r = ConvertCodeToGrid(in, target);
    if (marks) *marks = std::move(r.marks);
    return r.ok;
}

// Compiles a ladder into a fresh image; false with the failure text. With
// `map` the compile records its step map there.
bool ToCode(TLadder& lad, std::vector<std::uint8_t>& image, std::string& why,
            std::vector<TStepMapEntry>* map = nullptr, bool condition = false) {
    image.assign(kCapacity, 0x00);
    gStepMapList = map;
    TCompileTarget t;
    t.grid = lad.grid.data();
    t.gridRows = kRows;
    t.lastRow = FindLastUsedRow(lad.grid.data(), kLdbRowBytes, kRows - 1);
    t.labels = TLabelTables{lad.p.data(), lad.i.data()};
    t.code = image.data();
    t.capacity = kCapacity;
    t.condition = condition;
    const bool ok = CompileLadder(t) == 0;
    gStepMapList = nullptr;
    if (!ok) why = CompileFailureText() + " / " + gInputText;
    return ok;
}

// The element kind a step-map entry of this instruction names; non_inst for
// the lines that stand for no element (block and stack instructions, labels).
TLdbKind ElementKindOf(int index) {
    switch (index) {
        case inst::LD: case inst::AND: case inst::OR:
        case inst::LONG_LD: case inst::LONG_AND: case inst::LONG_OR: return TLdbKind::Open_Ry;
        case inst::LDI: case inst::ANI: case inst::ORI:
        case inst::LONG_LDI: case inst::LONG_ANI: case inst::LONG_ORI: return TLdbKind::Close_Ry;
        case inst::LDP: case inst::ANDP: case inst::ORP: return TLdbKind::Tu_Ry;
        case inst::LDF: case inst::ANDF: case inst::ORF: return TLdbKind::Td_Ry;
        case inst::STL: return TLdbKind::State_Ry;
        case inst::OUT: case inst::LONG_OUT: return TLdbKind::Out_Ry;
        case inst::INV: return TLdbKind::Inv_Ry;
        case inst::ANB: case inst::ORB: case inst::MPS: case inst::MRD: case inst::MPP:
        case inst::PLABEL: case inst::ILABEL: return TLdbKind::non_inst;
        default:
            return index >= kInstCompareFirst && index <= kInstCompareLast ? TLdbKind::Comp_Ry : TLdbKind::Spec_Fun;
    }
}

// Empty when every step-map entry of a compile of `lad` into `code` names the
// code offset of its instruction and the ladder cell of its element (an
// element-less line a row of the ladder); else what is wrong.
std::string StepMapFault(const TLadder& lad, const std::vector<TStepMapEntry>& map, const std::vector<std::uint8_t>& code) {
    const std::int32_t lastRow = FindLastUsedRow(lad.grid.data(), kLdbRowBytes, kRows - 1);
    std::uint32_t off = 0;
    for (std::size_t k = 0; k < map.size(); ++k) {
        const TStepMapEntry& e = map[k];
        const std::string at = "entry " + std::to_string(k) + " (step " + std::to_string(e.offset / 2) + ", row " +
                               std::to_string(e.row) + ", cell " + std::to_string(e.column) + "): ";
        if (e.offset != off) return at + "the offset is not the instruction's";
        const int index = OpcodeToIndex(static_cast<std::uint16_t>(code[off] | code[off + 1] << 8));
        off += gInstLength[index];
        if (e.row < 0 || e.row > lastRow) return at + "the row lies outside the ladder";
        const TLdbKind want = ElementKindOf(index);
        if (want == TLdbKind::non_inst) {
            if (e.column != 0) return at + "a line without element names a cell";
            continue;
        }
        if (e.column < 1 || e.column > kLdbRowCells) return at + "no cell";
        const TLdbKind got = CellKind(CellAt(lad.grid.data(), e.row, (e.column - 1) * kLdbCellBytes));
        if (got != want) return at + "names a " + LdbKindName(got) + " cell, not " + LdbKindName(want);
    }
    std::uint32_t used = 0;
    while (used + 1 < code.size() && !(code[used] == 0xFF && code[used + 1] == 0xFF)) used += 2;
    if (off != used) return "the step map ends at step " + std::to_string(off / 2) + " of " + std::to_string(used / 2);
    return {};
}

// Empty when the step marks of a conversion of `code` number its networks
// down the ladder: the first at row 0 and step 0, rows and steps growing from
// mark to mark, each step an instruction of the program. With the step map of
// the ladder's compile into the same code, each mark's step is an instruction
// drawn on the mark's row. Else what is wrong.
std::string StepMarkFault(const std::vector<TStepMark>& marks, const std::vector<std::uint8_t>& code,
                          const std::vector<TStepMapEntry>* map) {
    if (code.empty()) return marks.empty() ? std::string() : "marks of an empty program";
    if (marks.empty() || marks[0] != TStepMark{0, 0}) return "the first network is not marked at row 0, step 0";
    std::vector<std::uint32_t> starts;
    for (std::uint32_t off = 0; off < code.size();) {
        starts.push_back(off / 2);
        const std::uint32_t next = NextInstructionOffset(off, code.data(), static_cast<std::uint32_t>(code.size()));
        if (next <= off) break;
        off = next;
    }
    for (std::size_t k = 0; k < marks.size(); ++k) {
        const TStepMark& m = marks[k];
        const std::string at = "mark " + std::to_string(k) + " (row " + std::to_string(m.row) + ", step " +
                               std::to_string(m.step) + "): ";
        if (k > 0 && (m.row <= marks[k - 1].row || m.step <= marks[k - 1].step))
            return at + "does not follow the mark before it down the ladder";
        if (!std::binary_search(starts.begin(), starts.end(), m.step)) return at + "the step is no instruction's";
        if (!map) continue;
        const auto e = std::find_if(map->begin(), map->end(),
                                    [&](const TStepMapEntry& x) { return x.offset == 2u * m.step; });
        if (e == map->end() || e->row != m.row) return at + "its instruction is drawn on another row";
    }
    return {};
}

// Empty when two program images behave alike in the simulator: the same
// inputs (switched at random from `seed`) and the same time give the same
// device memory after every one of a few scans; else the first difference.
// The order in which outputs run shows here: an output that moves before the
// contact that reads it changes what that contact sees in the same scan.
std::string BehaviourDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                                std::uint32_t seed) {
    qel::ManualClock clockA, clockB;
    TSimEngine simA(clockA), simB(clockB);
    simA.LoadProgram(a.data(), a.size());
    simB.LoadProgram(b.data(), b.size());
    simA.ResetSimulator();
    simB.ResetSimulator();
    std::mt19937 rng(seed);
    for (int scan = 0; scan < 12; ++scan) {
        for (int x = 0; x < 8; ++x) {
            const bool on = (rng() & 3) != 0;
            SetSimBitAt(simA.Memory(), SimBitIndexOf('X', x), on);
            SetSimBitAt(simB.Memory(), SimBitIndexOf('X', x), on);
        }
        clockA.AdvanceMs(40);
        clockB.AdvanceMs(40);
        simA.RunSimScan();
        simB.RunSimScan();
        const TSimMemory& ma = simA.Memory();
        const TSimMemory& mb = simB.Memory();
        const std::string when = "scan " + std::to_string(scan) + ": ";
        for (std::size_t i = 0; i < std::size(ma.bits); ++i)
            if (ma.bits[i] != mb.bits[i]) return when + "bit device " + std::to_string(i) + " differs";
        if (!std::equal(std::begin(ma.D), std::end(ma.D), std::begin(mb.D))) return when + "a D register differs";
        if (!std::equal(std::begin(ma.TPV), std::end(ma.TPV), std::begin(mb.TPV))) return when + "a timer differs";
        if (!std::equal(std::begin(ma.CPV), std::end(ma.CPV), std::begin(mb.CPV)) ||
            !std::equal(std::begin(ma.CPV32), std::end(ma.CPV32), std::begin(mb.CPV32)))
            return when + "a counter differs";
    }
    return {};
}

std::vector<std::uint8_t> Image(const std::vector<std::uint8_t>& code) {
    std::vector<std::uint8_t> image(code);
    image.resize(kCapacity, 0xFF);
    return image;
}

bool SameLadder(const TLadder& a, const TLadder& b) { return a.grid == b.grid && a.p == b.p && a.i == b.i; }

// What is wrong with the round trip of a program the conversion accepted into
// `first`: it must compile (with a step map naming each element's cell), its
// compiled code must be a fixpoint of the next round trip (the normal form is
// reached in one pass), and it must behave as the program did. nullptr when
// all holds; `expected`, when given, is the normal form the code must take.
const char* RoundTripFault(const std::vector<std::uint8_t>& code, TLadder& first,
                           const std::vector<std::uint8_t>* expected, std::vector<std::uint8_t>& out,
                           std::string& why) {
    std::vector<std::uint8_t> recalculated = first.grid;
    RecalcRows(kLdbRowBytes, FindLastUsedRow(first.grid.data(), kLdbRowBytes, kRows - 1), recalculated.data(), kRows);
    if (recalculated != first.grid) return "the ladder is not normalised";
    std::vector<TStepMapEntry> map;
    if (!ToCode(first, out, why, &map)) return "does not compile: ";
    if (expected && out != Image(*expected)) return "differs from the normal form";
    why = StepMapFault(first, map, out);
    if (!why.empty()) return "a step-map entry is wrong: ";
    why = BehaviourDifference(Image(code), out, static_cast<std::uint32_t>(code.size()));
    if (!why.empty()) return "behaves otherwise in the simulator: ";
    std::uint32_t used = 0;
    while (used + 1 < out.size() && !(out[used] == 0xFF && out[used + 1] == 0xFF)) used += 2;
    TLadder second;
    if (!ToLadder(out, used, second)) return "the second conversion refuses it";
    std::vector<std::uint8_t> again;
    if (!ToCode(second, again, why) || again != out) return "the second compile differs";
    TLadder third;
    if (!ToLadder(again, used, third) || !SameLadder(second, third)) return "the second ladder differs";
    return nullptr;
}

std::string Report(const std::string& where, const char* fault, const std::string& why,
                   const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>* expected,
                   const std::vector<std::uint8_t>& out) {
    std::string s = where + ": " + fault + why + "\nprogram:\n" + ListingOf(code);
    if (expected) s += "normal form:\n" + ListingOf(*expected);
    return s + "came back as:\n" +
           ListingOf({out.begin(), out.begin() + std::min<std::size_t>(out.size(), code.size() + 8)});
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
        if (const char* fault = RoundTripFault(code, first, &expected, out, why))
            ADD_FAILURE() << Report("program", fault, why, code, &expected, out);
        return true;
    }
};

// What the seeded programs below do not write: a program of END alone, steps
// one after another, other compares and long forms, index registers and
// constants, jumps, subroutines, interrupts, master control, set values in
// registers, contacts in parallel with a folded row.
const std::vector<std::vector<std::string>> kCorpus = {
    {"END"},
    {"LD= D0 K5", "AND> D1 K-3", "OUT Y0", "DLD< D0 K100000", "DOR>= D2 K0", "OUT Y1", "END"},
    {"LD M2000", "AND M1536", "OUT M1600", "SET M3000", "END"},
    {"LD X0", "MOV K4M0F1 D0E", "DMOV K-1 D2", "MOV H0F D4", "MOV K-5 D6", "END"},
    {"LD X0", "CJ P1", "LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2", "END"},
    {"LD X0", "OUT Y0", "FEND", "I100", "LD X1", "OUT Y1", "IRET", "END"},
    {"LD X0", "MC N0", "LD X1", "OUT Y0", "MCR N0", "END"},
    {"LD X0", "ASC ABCDEFGH D0", "END"},
    {"LD X0", "RST C0", "RST D10", "END"},
    {"LD X1", "MPS", "AND X2", "TMR T1 D0", "MPP", "CNT C1 D1", "END"},
    {"LD X0", "MOV D10E7 D20F7", "DMOV K100000 D0E3", "MOV K2X0E1 K4Y0F2", "END"},
    {"LDP M2000", "ANDF M1600", "ORP M3000", "OUT Y0", "END"},
    {"LD X0", "AND X1", "AND X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11", "AND X12",
     "AND X13", "OR X14", "AND X15", "OUT Y0", "END"},
    {"LD X0", "OUT Y0", "MPS", "AND X1", "OUT Y1", "MPP", "AND X2", "OUT Y2", "END"},
    {"STL S0", "STL S1", "LD X0", "SET S2", "RET", "END"},
    {"LD< D0 K10", "OR= D1 K0", "OUT Y0", "END"},
    {"LD X0", "DMOV K100000 D0", "DADD D0 K-200000 D2", "END"},
    {"LD X0", "SET S0", "STL S0", "LD X1", "OUT Y0", "LD X2", "SET S1", "STL S1", "LD X3", "OUT Y1", "RET", "END"},
    {"LD M100", "OUT Y0", "FEND", "P10", "LD X1", "OUT Y1", "SRET", "END"},
    {"LD X0", "OR X1", "OR X2", "AND X3", "AND X4", "AND X5", "AND X6", "AND X7", "AND X10", "AND X11", "AND X12",
     "AND X13", "AND X14", "AND X15", "AND X16", "AND X17", "AND X20", "AND X21", "AND X22", "AND X23", "AND X24",
     "AND X25", "AND X26", "AND X27", "OR X30", "OUT Y0", "END"},
    // Blocks after an output of a branch, also in a rung that folds.
    {"LD X0", "MPS", "AND X1", "OUT Y0", "LD X2", "OR X3", "ANB", "OUT Y1", "MPP", "OUT Y2", "END"},
    {"LD= D0 K5", "DAND< D4 K-70000", "DAND> D0 K100000", "INV", "MPS", "LD X0", "DOR< D4 K-70000", "ANB",
     "CNT C2 K3", "LD<> D1 D2", "OR X1", "ANB", "CNT C2 K3", "MPP", "AND M1600", "OUT Y1", "END"},
    {"LD<> D1 D2", "MPS", "ANI X1", "SET S7", "DLD< D4 K-70000", "OR M5", "ANB", "PLS M7", "MPP", "AND= D0 K5",
     "OUT Y1", "END"},
};

TEST_F(RoundTrip, CorpusComesBackUnchanged) {
    int converted = 0;
    for (const auto& program : kCorpus) {
        SCOPED_TRACE(program.front() + " ... (" + std::to_string(program.size()) + " lines)");
        if (Check(program)) ++converted;
        else ADD_FAILURE() << "refused:\n" << ListingOf(AssembleLines(program));
    }
    // The conversion accepts the whole corpus; a refusal would hide a fault here.
    EXPECT_EQ(converted, static_cast<int>(kCorpus.size()));
}

// Outputs run in the order the program gives them: the output after MPP stays
// below the branch the MPS opened, so S67 does not switch on a scan early.
TEST_F(RoundTrip, OutputsKeepTheirOrder) {
    EXPECT_TRUE(Check({"LD X0", "LD X1", "AND X3", "ORB", "OUT M0", "MPS", "AND C21", "SET S67", "MPP",
                       "CNT C21 K1", "END"}));
    EXPECT_TRUE(Check({"LD X0", "OR X1", "OR X2", "MPS", "AND X3", "OUT Y0", "LD X4", "OR X5", "ANB", "OUT Y1",
                       "MRD", "AND Y1", "OUT Y2", "MPP", "OUT Y3", "END"}));
}

// What the ladder cannot compile back is refused when it is converted: an
// unjoined block before an output (the checker calls it incomplete) and a SET
// of a timer (words 2400 D627 000F).
TEST_F(RoundTrip, RefusesWhatDoesNotCompileBack) {
    std::vector<std::uint8_t> setTimer;
    qel::test::AppendWords(setTimer, {0x2400, 0xD627, 0x000F});
    for (const auto& code : {AssembleLines({"LD X0", "LD X1", "OUT Y0", "END"}), setTimer}) {
        TLadder lad;
        EXPECT_FALSE(ToLadder(Image(code), static_cast<std::uint32_t>(code.size()), lad)) << ListingOf(code);
    }
}

// A transition's condition is contacts alone: drawn as a rung ending in open
// wire, it compiles back word for word (with its step map); the same ladder in
// any other ladder is a dead end, and an open rung with rungs after it, or two
// open ends in one rung, is refused in a condition too.
TEST_F(RoundTrip, TransitionConditionsComeBackWordForWord) {
    const std::vector<std::vector<std::string>> conditions = {
        {"LD X0", "AND X1"},
        {"LDI X0"},
        {"LD X0", "OR X1"},
        {"LD X0", "OR X2", "ANI M3", "ANDP X1"},
        {"LD X0", "LD X1", "OR X2", "ANB", "AND> D0 K5"},
        {"LD X0", "AND X1", "LD X2", "AND X3", "ORB"},
        {"LD X5", "AND X6", "OUT Y5"},  // a condition that also drives an output
    };
    for (const auto& lines : conditions) {
        SCOPED_TRACE(lines.front() + " ... (" + std::to_string(lines.size()) + " lines)");
        const auto code = AssembleLines(lines);
        TLadder lad;
        ASSERT_TRUE(ToLadder(Image(code), static_cast<std::uint32_t>(code.size()), lad, true)) << ListingOf(code);
        std::vector<std::uint8_t> out;
        std::string why;
        std::vector<TStepMapEntry> map;
        ASSERT_TRUE(ToCode(lad, out, why, &map, true)) << why;
        EXPECT_EQ(out, Image(code)) << "came back as:\n" << ListingOf({out.begin(), out.begin() + 40});
        EXPECT_EQ(StepMapFault(lad, map, out), "");
        TLadder again;
        ASSERT_TRUE(ToLadder(out, static_cast<std::uint32_t>(code.size()), again, true));
        EXPECT_EQ(again.grid, lad.grid);
        if (lines.back().rfind("OUT", 0) == 0) continue;
        // Outside a transition the open end is a dead end: refused, and the
        // conversion without the condition flag refuses to draw it.
        EXPECT_FALSE(ToCode(lad, out, why));
        EXPECT_EQ(gCompileLayoutError.msgId, 33) << why;
        TLadder plain;
        EXPECT_FALSE(ToLadder(Image(code), static_cast<std::uint32_t>(code.size()), plain));
    }

    // An open rung followed by another rung: the condition would not reach the transfer.
    TLadder open, next;
    const auto condition = AssembleLines({"LD X0", "AND X1"});
    const auto rung = AssembleLines({"LD X2", "OUT Y0"});
    ASSERT_TRUE(ToLadder(Image(condition), static_cast<std::uint32_t>(condition.size()), open, true));
    ASSERT_TRUE(ToLadder(Image(rung), static_cast<std::uint32_t>(rung.size()), next, true));
    const std::int32_t openRows = FindLastUsedRow(open.grid.data(), kLdbRowBytes, kRows - 1) + 1;
    const std::int32_t nextRows = FindLastUsedRow(next.grid.data(), kLdbRowBytes, kRows - 1) + 1;
    TLadder both = next;  // the rung first, the condition last: accepted
    std::copy_n(open.grid.begin(), openRows * kLdbRowBytes, both.grid.begin() + (nextRows + 1) * kLdbRowBytes);
    std::vector<std::uint8_t> out;
    std::string why;
    ASSERT_TRUE(ToCode(both, out, why, nullptr, true)) << why;
    auto joined = rung;
    joined.insert(joined.end(), condition.begin(), condition.end());
    EXPECT_EQ(out, Image(joined));
    both = open;  // the condition first: refused at the condition's rung
    std::copy_n(next.grid.begin(), nextRows * kLdbRowBytes, both.grid.begin() + (openRows + 1) * kLdbRowBytes);
    EXPECT_FALSE(ToCode(both, out, why, nullptr, true));
    EXPECT_EQ(gCompileLayoutError.msgId, 33) << why;
    EXPECT_EQ(gNetworkStartRow, 0);

    // Two rows of contacts on the rail, each ending open: two results, refused.
    TLadder two = open;
    std::copy_n(open.grid.begin(), openRows * kLdbRowBytes, two.grid.begin() + openRows * kLdbRowBytes);
    EXPECT_FALSE(ToCode(two, out, why, nullptr, true));
    EXPECT_EQ(gCompileLayoutError.msgId, 33) << why;
}

// In a rung folded into three segments the step map still names each
// element's own cell (the OUT Y0 entry named the END row).
TEST_F(RoundTrip, StepMapOfFoldedRungs) {
    std::vector<std::string> program = {"LD X0"};
    for (const char* x : {"X1", "X2", "X3", "X4", "X5", "X6", "X7", "X10", "X11", "X12", "X13", "X14"})
        program.push_back(std::string("AND ") + x);
    program.insert(program.end(), {"MPS", "AND M0", "OUT Y0", "MPP"});
    for (int m = 1; m <= 14; ++m) program.push_back("AND M" + std::to_string(m));
    program.insert(program.end(), {"OUT Y1", "END"});
    EXPECT_TRUE(Check(program));
}

// What the conversion and compile normalise, once; each normal form is a
// fixpoint of its own:
// - NOP words inside the code vanish;
// - a block of one contact takes the contact's own form (LD LD ORB is LD OR,
//   LD LD ANB is LD AND);
// - a single contact or a plain series written as a block joins with AND/OR
//   (LD X0 LD X1 OR X2 ORB is LD X0 OR X1 OR X2);
// - a row with both labels lists the P label first;
// - the stack instructions of output branches take their canonical form: no
//   MPS when the branches have no contacts of their own, and an MRD before a
//   last branch without contacts becomes the MPP (that branch then needs none).
TEST_F(RoundTrip, NormalisationsHappenOnce) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"LD X0", "NOP", "OUT Y0", "END"}, {"LD X0", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "ORB", "OUT Y0", "END"}, {"LD X0", "OR X1", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "LD X2", "ORB", "ORB", "OUT Y0", "END"}, {"LD X0", "OR X1", "OR X2", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "AND X2", "ANB", "OUT Y0", "END"}, {"LD X0", "AND X1", "AND X2", "OUT Y0", "END"}},
        {{"LD X0", "LD X1", "OR X2", "ORB", "OUT Y0", "END"}, {"LD X0", "OR X1", "OR X2", "OUT Y0", "END"}},
        {{"LD X0", "OUT Y0", "FEND", "I100", "P0", "LD X1", "OUT Y1", "IRET", "END"},
         {"LD X0", "OUT Y0", "FEND", "P0", "I100", "LD X1", "OUT Y1", "IRET", "END"}},
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


// Random rung programs in the PLC's own notation, generated from a circuit
// tree so that each program's normal form is known: series of contacts,
// compares, INV and parallel blocks; parallel blocks of contacts and series;
// output branches (stacked outputs, MPS/MRD/MPP, outputs after further
// contacts); steps with their rungs; labels; rows long enough to fold. The
// program text sometimes spells a single contact or a plain series as a block
// of its own, which the round trip brings to the normal form.
class TRandomProgram {
public:
    explicit TRandomProgram(std::uint32_t seed) : rng_(seed) {}

    // Fills `text` (as written) and `normal` (as it comes back) with one program.
    void Make(std::vector<std::string>& text, std::vector<std::string>& normal) {
        text_ = &text;
        normal_ = &normal;
        text.clear();
        normal.clear();
        int label = 0;
        for (int k = static_cast<int>(Below(4)) + 1; k > 0; --k) {
            const unsigned kind = Below(8);
            if (kind == 0) {
                Both("P" + std::to_string(label++));
            } else if (kind <= 2) {
                Step();
                continue;
            }
            Rung(false);
        }
        Both("END");
    }

private:
    struct TNode {
        enum Kind { Leaf, Inv, Series, Parallel } kind = Leaf;
        std::string leaf;  // the operand part of a contact or compare, with its form letter
        std::vector<TNode> items;
    };

    unsigned Below(unsigned n) { return static_cast<unsigned>(rng_() % n); }
    void Both(const std::string& line) {
        text_->push_back(line);
        normal_->push_back(line);
    }

    // A contact or compare, kept as "<form>|<operands>": the form picks the
    // mnemonic for each position (LD/AND/OR).
    TNode Leaf() {
        static const char* const kLeaves[] = {"|X0", "I|X1", "P|X2", "F|X3", "|M1600", "I|M5", "|T3", "|C200",
                                              "|M2000", "=|D0 K5", "D>|D0 K100000", "<>|D1 D2", "D<|D4 K-70000"};
        TNode n;
        n.leaf = kLeaves[Below(std::size(kLeaves))];
        return n;
    }
    static std::string Mnemonic(const std::string& leaf, const char* pos) {
        const std::size_t bar = leaf.find('|');
        const std::string form = leaf.substr(0, bar), operands = leaf.substr(bar + 1);
        const std::string p(pos);
        if (form.empty()) return p + " " + operands;
        if (form == "I") return (p == "LD" ? "LDI" : p == "AND" ? "ANI" : "ORI") + std::string(" ") + operands;
        if (form == "P" || form == "F") return p + form + " " + operands;
        if (form[0] == 'D') return "D" + p + form.substr(1) + " " + operands;
        return p + form + " " + operands;
    }

    TNode Series(int depth, bool canStartWithBlock) {
        TNode s;
        s.kind = TNode::Series;
        const int items = static_cast<int>(Below(4)) + 1;
        for (int k = 0; k < items; ++k) {
            const unsigned pick = Below(6);
            if (k > 0 && pick == 0) {
                s.items.push_back(TNode{TNode::Inv, {}, {}});
            } else if (depth < 3 && pick == 1 && (k > 0 || canStartWithBlock)) {
                s.items.push_back(Parallel(depth + 1));
            } else {
                s.items.push_back(Leaf());
            }
        }
        if (s.items.size() == 1 && s.items[0].kind == TNode::Leaf) return s.items[0];
        return s;
    }
    TNode Parallel(int depth) {
        TNode p;
        p.kind = TNode::Parallel;
        const int items = static_cast<int>(Below(2)) + 2;
        for (int k = 0; k < items; ++k) p.items.push_back(depth < 3 && Below(2) ? Series(depth + 1, k == 0) : Leaf());
        return p;
    }
    // A long series that makes the row fold.
    TNode LongSeries() {
        TNode s;
        s.kind = TNode::Series;
        for (int k = static_cast<int>(Below(20)) + 12; k > 0; --k) s.items.push_back(Leaf());
        if (Below(2)) s.items.push_back(Parallel(2));
        return s;
    }

    // Writes `n` in the position `pos` ("LD", "AND" or "OR"): the normal form
    // joins a single contact with AND/OR and a block with ANB/ORB; the text now
    // and then writes a single contact, or a series joined in series, as a
    // block of its own.
    void Emit(const TNode& n, const char* pos) {
        const bool joined = std::string(pos) != "LD";
        const bool and_ = std::string(pos) == "AND";
        switch (n.kind) {
            case TNode::Leaf:
                if (joined && Below(8) == 0) {
                    text_->push_back(Mnemonic(n.leaf, "LD"));
                    text_->push_back(and_ ? "ANB" : "ORB");
                    normal_->push_back(Mnemonic(n.leaf, pos));
                } else {
                    Both(Mnemonic(n.leaf, pos));
                }
                return;
            case TNode::Inv:
                Both("INV");
                return;
            case TNode::Series:
                if (and_) {
                    // A series in series: the items follow as they are, or the
                    // text makes a block of them that the round trip dissolves.
                    const bool block = Below(6) == 0 && n.items[0].kind == TNode::Leaf;
                    auto* keep = text_;
                    std::vector<std::string> inner;
                    if (block) text_ = &inner;
                    for (std::size_t k = 0; k < n.items.size(); ++k) {
                        if (block && k == 0) {
                            inner.push_back(Mnemonic(n.items[0].leaf, "LD"));
                            normal_->push_back(Mnemonic(n.items[0].leaf, "AND"));
                        } else {
                            Emit(n.items[k], "AND");
                        }
                    }
                    text_ = keep;
                    if (block) {
                        text_->insert(text_->end(), inner.begin(), inner.end());
                        text_->push_back("ANB");
                    }
                    return;
                }
                Emit(n.items[0], "LD");
                for (std::size_t k = 1; k < n.items.size(); ++k) Emit(n.items[k], "AND");
                if (joined) Both("ORB");
                return;
            case TNode::Parallel:
                if (std::string(pos) == "OR") {
                    for (const TNode& item : n.items) Emit(item, "OR");
                    return;
                }
                Emit(n.items[0], "LD");
                for (std::size_t k = 1; k < n.items.size(); ++k) Emit(n.items[k], "OR");
                if (joined) Both("ANB");
                return;
        }
    }

    std::string Output() {
        static const char* const kOut[] = {"OUT Y0", "OUT M1700", "SET M3", "SET S7", "RST C0", "TMR T1 K10",
                                           "CNT C2 K3", "DCNT C200 K100000", "MOV K4X0 D10E", "DMOV K-70000 D0",
                                           "PLS M7", "ZRST M0 M100", "OUT Y1"};
        return kOut[Below(std::size(kOut))];
    }

    // Contacts and outputs after the rung's condition.
    void Outputs(int depth, bool inBranch = false) {
        switch (depth < 2 ? Below(5) : 0) {
            case 0:
                Both(Output());
                break;
            case 1:
                for (int k = static_cast<int>(Below(3)) + 2; k > 0; --k) Both(Output());
                break;
            case 2:
                // More contacts after an output: a contact, or in an output
                // branch a block, which goes below the output's row. (Outside
                // a branch a load after an output starts the next rung, so a
                // block there is refused, as in a step's rung.)
                Both(Output());
                Emit(inBranch && Below(3) == 0 ? Parallel(2) : Leaf(), "AND");
                Both(Output());
                break;
            default: {
                // Output branches; every branch but the last has a contact of its own.
                const int branches = static_cast<int>(Below(3)) + 2;
                for (int k = 0; k < branches; ++k) {
                    Both(k == 0 ? "MPS" : k + 1 == branches ? "MPP" : "MRD");
                    // A branch that opens branches of its own has a contact first
                    // (MPP or MRD straight before MPS is one MRD).
                    const bool nested = depth == 0 && Below(4) == 0;
                    if (k + 1 < branches || nested || Below(2)) Emit(Below(4) ? Leaf() : Parallel(2), "AND");
                    if (nested) {
                        Outputs(depth + 1, true);
                    } else {
                        Both(Output());
                    }
                }
                break;
            }
        }
    }

    void Rung(bool inStep) {
        const TNode cond = Below(10) == 0 ? LongSeries() : Below(3) ? Series(0, true) : Parallel(1);
        Emit(cond, "LD");
        Outputs(inStep ? 1 : 0);
    }

    void Step() {
        Both("STL S" + std::to_string(Below(900)));
        if (Below(2)) Both(Output());
        for (int k = static_cast<int>(Below(3)) + 1; k > 0; --k) Rung(true);
        Both("RET");
    }

    std::mt19937 rng_;
    std::vector<std::string>* text_ = nullptr;
    std::vector<std::string>* normal_ = nullptr;
};

// Machine code of instruction-list lines, each line assembled once.
class TLineCache {
public:
    std::vector<std::uint8_t> operator()(const std::vector<std::string>& lines) {
        std::vector<std::uint8_t> code;
        for (const std::string& line : lines) {
            auto it = cache_.find(line);
            if (it == cache_.end()) it = cache_.emplace(line, AssembleLines({line})).first;
            code.insert(code.end(), it->second.begin(), it->second.end());
        }
        return code;
    }

private:
    std::map<std::string, std::vector<std::uint8_t>> cache_;
};

// Every random program the conversion accepts compiles back to its normal
// form with a step map that names each element's cell, behaves as it did in
// the simulator, and a second round trip changes neither the code nor the
// ladder; its step marks number the networks down the ladder.
TEST_F(RoundTrip, RandomProgramsComeBackInNormalForm) {
    TRandomProgram gen(20240917);
    TLineCache words;
    int accepted = 0, normalised = 0, failures = 0;
    std::vector<std::string> text, normal;
    for (int round = 0; round < 2000 && failures < 5; ++round) {
        gen.Make(text, normal);
        const auto code = words(text);
        const auto expected = words(normal);
        TLadder first;
        std::vector<TStepMark> marks;
        if (!ToLadder(Image(code), static_cast<std::uint32_t>(code.size()), first, false, &marks)) continue;
        ++accepted;
        if (expected != code) ++normalised;
        std::vector<std::uint8_t> out;
        std::string why;
        if (const char* fault = RoundTripFault(code, first, &expected, out, why)) {
            ++failures;
            ADD_FAILURE() << Report("round " + std::to_string(round), fault, why, code, &expected, out);
            continue;
        }
        // A program already in normal form compiles into itself: its step map
        // tells the row each marked step is drawn on.
        std::vector<TStepMapEntry> map;
        if (expected == code && !ToCode(first, out, why, &map)) map.clear();
        why = StepMarkFault(marks, code, expected == code ? &map : nullptr);
        if (!why.empty()) {
            ++failures;
            ADD_FAILURE() << Report("round " + std::to_string(round), "a step mark is wrong: ", why, code, &expected, out);
        }
    }
    // Most programs are drawable, and the normalisations are exercised.
    EXPECT_GT(accepted, 1800);
    EXPECT_GT(normalised, 100);
}

// Mutated programs: random programs with lines dropped, doubled, swapped or
// added, and with devices of basic words changed at random (outputs of inputs,
// SET of timers). The conversion may refuse them, leaving the target untouched;
// what it accepts must compile, behave as the program did and reach its normal
// form in one pass.
TEST_F(RoundTrip, MutatedProgramsConvertOnlyWhatCompilesBack) {
    TRandomProgram gen(77001);
    std::mt19937 rng(4242);
    TLineCache words;
    const std::vector<std::string> extra = {"LD X5", "AND X6", "OR M9", "ANB", "ORB", "MPS", "MRD", "MPP", "INV",
                                            "OUT Y3", "SET M4", "RST M4", "STL S3", "RET", "P7", "END", "FEND",
                                            "LD> D0 K3", "MC N0", "MCR N0", "CJ P7", "NOP"};
    int accepted = 0, refused = 0, failures = 0;
    std::vector<std::string> text, normal;
    for (int round = 0; round < 2000 && failures < 5; ++round) {
        gen.Make(text, normal);
        for (int k = static_cast<int>(rng() % 3) + 1; k > 0; --k) {
            const std::size_t at = rng() % text.size();
            switch (rng() % 4) {
                case 0: if (text.size() > 1) text.erase(text.begin() + static_cast<std::ptrdiff_t>(at)); break;
                case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), text[at]); break;
                case 2: if (at + 1 < text.size()) std::swap(text[at], text[at + 1]); break;
                default: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), extra[rng() % extra.size()]); break;
            }
        }
        auto code = words(text);
        if (rng() % 3 == 0) {
            // A basic word (LD .. SET) with another device address.
            std::vector<std::uint32_t> basic;
            for (std::uint32_t off = 0; off + 1 < code.size();) {
                if (OpcodeToIndex(static_cast<std::uint16_t>(code[off] | code[off + 1] << 8)) <= inst::SET)
                    basic.push_back(off);
                const std::uint32_t next = NextInstructionOffset(off, code.data(), code.size());
                if (next <= off) break;
                off = next;
            }
            if (!basic.empty()) {
                const std::uint32_t w = basic[rng() % basic.size()];
                const std::uint16_t changed = static_cast<std::uint16_t>((code[w + 1] & 0xF0) << 8 | (rng() & 0x0FFF));
                code[w] = static_cast<std::uint8_t>(changed);
                code[w + 1] = static_cast<std::uint8_t>(changed >> 8);
            }
        }
        TLadder first;
        if (!ToLadder(Image(code), static_cast<std::uint32_t>(code.size()), first)) {
            ++refused;
            // A refusal leaves the target as it was.
            if (std::any_of(first.grid.begin(), first.grid.end(), [](std::uint8_t b) { return b != 0; }) ||
                first.p != TLadder().p || first.i != TLadder().i)
                ADD_FAILURE() << "round " << round << ": a refusal wrote into the target\n" << ListingOf(code);
            continue;
        }
        ++accepted;
        std::vector<std::uint8_t> out;
        std::string why;
        if (const char* fault = RoundTripFault(code, first, nullptr, out, why)) {
            ++failures;
            ADD_FAILURE() << Report("round " + std::to_string(round), fault, why, code, nullptr, out);
        }
    }
    // Both sides are exercised.
    EXPECT_GT(accepted, 500);
    EXPECT_GT(refused, 500);
}

}  // namespace
