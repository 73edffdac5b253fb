// The program syntax checker: every error code that can arise, with the step
// it is reported at, and programs that must pass.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "IlProgram.h"
#include "core/InstructionTable.h"
#include "ladder/model/Laddercompile.h"
#include "ladder/model/Test.h"

namespace {

using qel::test::AppendWords;
using qel::test::Il;
using qel::test::ListingOf;

struct TCheck {
    std::uint16_t error;
    std::int32_t step;
    std::int32_t errSteps[2];
};

// Checks exactly the bytes of `code` (a vector, so ASan sees any read past it).
TCheck Check(const std::vector<std::uint8_t>& code) {
    TCheck r{};
    r.errSteps[0] = r.errSteps[1] = -7;
    gSyntaxError = 0x1234;  // the check must set it either way
    r.step = CheckProgramSyntax(code.data(), static_cast<std::uint32_t>(code.size()), r.errSteps);
    r.error = gSyntaxError;
    return r;
}

#define EXPECT_SYNTAX(code, err, atStep)                                              \
    do {                                                                              \
        const auto& c_ = (code);                                                      \
        const TCheck r_ = Check(c_);                                                  \
        EXPECT_EQ(r_.error, (err)) << std::hex << r_.error << "\n" << ListingOf(c_);  \
        EXPECT_EQ(r_.step, (atStep)) << ListingOf(c_);                                \
        EXPECT_EQ(r_.errSteps[0], (atStep));                                          \
    } while (0)

TEST(SyntaxCheck, WellFormedProgramsPass) {
    const std::vector<std::vector<std::uint8_t>> good = {
        {},
        Il({"LD X0", "OUT Y0", "END"}),
        Il({"LD X0", "OUT Y0"}),  // the final END marker completes it
        Il({"LD X0", "AND X1", "LD X2", "ANI X3", "ORB", "OR M0", "OUT Y0", "END"}),
        Il({"LD X0", "MPS", "AND X1", "OUT Y0", "MRD", "AND X2", "OUT Y1", "MPP", "OUT Y2", "END"}),
        Il({"LD X0", "MC N0", "LD X1", "OUT Y0", "MCR N0", "END"}),
        Il({"LD X0", "MC N0", "LD X1", "MC N1", "LD X2", "OUT Y0", "MCR N1", "MCR N0", "END"}),
        Il({"STL S0", "LD X0", "OUT Y0", "LD X1", "SET S1", "STL S1", "OUT Y1", "RET", "END"}),
        Il({"LD X0", "OUT Y0", "FEND", "I100", "LD X1", "OUT Y1", "IRET", "END"}),
        Il({"LD X0", "CALL P1", "FEND", "P1", "LD X1", "OUT Y1", "SRET", "END"}),
        Il({"FOR K3", "LD X0", "OUT Y0", "NEXT", "END"}),
        Il({"LD X0", "MOV K10 D0", "LD T0", "OUT Y0", "END"}),
    };
    for (const auto& code : good) {
        const TCheck r = Check(code);
        EXPECT_EQ(r.error, 0) << std::hex << r.error << "\n" << ListingOf(code);
        EXPECT_EQ(r.errSteps[0], -7) << "no error leaves errSteps alone";
    }
}

TEST(SyntaxCheck, CodeAfterTheCompletingEndIsNotExamined) {
    auto code = Il({"LD X0", "OUT Y0", "END"});
    AppendWords(code, {0x0000, 0xC400});
    EXPECT_EQ(Check(code).error, 0);
}

TEST(SyntaxCheck, NopWordsAreSkipped) {
    auto code = Il({"LD X0"});
    AppendWords(code, {0xFFFF, 0xFFFF, 0xC500, 0x000F});  // NOP, NOP, OUT Y0, END
    EXPECT_EQ(Check(code).error, 0);
    auto bad = Il({"LD X0"});
    AppendWords(bad, {0xFFFF, 0xC400});
    EXPECT_SYNTAX(bad, SyntaxErr::InvalidWord, 2);
}

// 0xC400: the offending word's step, whether the word is plainly invalid, an
// opcode the instruction set does not know, or an instruction cut off by the end.
TEST(SyntaxCheck, InvalidWords) {
    auto errorWord = Il({"LD X0"});
    AppendWords(errorWord, {0xC400, 0x000F});
    EXPECT_SYNTAX(errorWord, SyntaxErr::InvalidWord, 1);

    // The unused number in the LD compare group looks like a load but is no instruction.
    ASSERT_EQ(OpcodeToIndex(0x01D6), kInstError);
    auto gap = Il({"LD X0", "OUT Y0"});
    AppendWords(gap, {0x01D6, 0x000F});
    EXPECT_SYNTAX(gap, SyntaxErr::InvalidWord, 2);

    // A word in the output ranges that no instruction has.
    ASSERT_EQ(OpcodeToIndex(0x1FFE), kInstError);
    auto unknownOutput = Il({"LD X0"});
    AppendWords(unknownOutput, {0x1FFE});
    EXPECT_SYNTAX(unknownOutput, SyntaxErr::InvalidWord, 1);

    // MC whose operand lies past the end of the code.
    auto cut = Il({"LD X0"});
    AppendWords(cut, {0x000A});
    EXPECT_SYNTAX(cut, SyntaxErr::InvalidWord, 1);

    // P labels beyond P255 fit no label table.
    auto bigP = Il({"LD X0", "OUT Y0"});
    AppendWords(bigP, {0xB100, 0x000F});
    EXPECT_SYNTAX(bigP, SyntaxErr::InvalidWord, 2);
}

// 0xC401 from the reduction: reported at the first stack entry that did not
// reduce; an entry keeps the step of the first instruction it stands for
// (LD X0 AND X1 is reported at the LD, not the AND).
TEST(SyntaxCheck, IncompleteProgramPosition) {
    EXPECT_SYNTAX(Il({"LD X0"}), SyntaxErr::Incomplete, 0);

    const auto code = Il({"LD X0", "AND X1", "LD X2", "OUT Y0", "END"});
    const TCheck r = Check(code);
    EXPECT_EQ(r.error, SyntaxErr::Incomplete);
    EXPECT_EQ(r.step, 0);
    EXPECT_EQ(r.errSteps[0], 0);
    EXPECT_EQ(r.errSteps[1], 2) << "the entry after the faulty one starts at LD X2";

    // MPP without MPS: the MPP is the first entry that does not reduce.
    const TCheck mpp = Check(Il({"LD X0", "OUT Y0", "MPP", "END"}));
    EXPECT_EQ(mpp.error, SyntaxErr::Incomplete);
    EXPECT_EQ(mpp.step, 2);
    EXPECT_EQ(mpp.errSteps[1], 3);
    // FOR or NEXT inside a step is found by the linear pass at the FOR.
    EXPECT_SYNTAX(Il({"STL S0", "FOR K2", "NEXT", "RET", "END"}), SyntaxErr::Incomplete, 1);
}

TEST(SyntaxCheck, NineOpenLoads) {
    std::vector<std::string> lines;
    for (int i = 0; i < 9; ++i) lines.push_back("LD M" + std::to_string(i));
    lines.push_back("ORB");
    // Found when the instruction after the ninth load is examined.
    EXPECT_SYNTAX(qel::test::AssembleLines(lines), SyntaxErr::TooManyLoads, 9);

    std::vector<std::string> eight;
    for (int i = 0; i < 8; ++i) eight.push_back("LD M" + std::to_string(i));
    for (int i = 0; i < 7; ++i) eight.push_back("ORB");
    eight.push_back("OUT Y0");
    eight.push_back("END");
    EXPECT_EQ(Check(qel::test::AssembleLines(eight)).error, 0);
}

TEST(SyntaxCheck, CountedNestingLimits) {
    std::vector<std::string> mps = {"LD X0"};
    for (int i = 0; i < 9; ++i) mps.push_back("MPS");
    EXPECT_SYNTAX(qel::test::AssembleLines(mps), SyntaxErr::MpsTooDeep, 9);

    // FOR takes three steps: the sixth FOR stands at step 15.
    std::vector<std::string> fors(6, "FOR K1");
    EXPECT_SYNTAX(qel::test::AssembleLines(fors), SyntaxErr::ForTooDeep, 15);

    std::vector<std::string> stls;
    for (int i = 0; i < 9; ++i) stls.push_back("STL S" + std::to_string(i));
    EXPECT_SYNTAX(qel::test::AssembleLines(stls), SyntaxErr::TooManyStl, 8);
}

TEST(SyntaxCheck, ForBodyRestrictions) {
    EXPECT_SYNTAX(Il({"FOR K1", "STL S0", "NEXT", "END"}), SyntaxErr::InsideFor, 3);
    EXPECT_SYNTAX(Il({"FOR K1", "LD X0", "OUT Y0", "END"}), SyntaxErr::InsideFor, 5);
}

TEST(SyntaxCheck, StepRestrictions) {
    EXPECT_SYNTAX(Il({"STL S0", "LD X0", "MC N0"}), SyntaxErr::InsideStep, 2);
    EXPECT_SYNTAX(Il({"STL S0", "LD X0", "OUT Y0", "P3"}), SyntaxErr::InsideStep, 3);
    // An I label in a step is misplaced twice over; the step rule is checked first.
    EXPECT_SYNTAX(Il({"LD X0", "OUT Y0", "FEND", "P0", "STL S0", "I100"}), SyntaxErr::InsideStep, 5);
}

TEST(SyntaxCheck, SectionRules) {
    // A step after FEND, then SRET before the next FEND.
    EXPECT_SYNTAX(Il({"LD X0", "OUT Y0", "FEND", "P0", "STL S0", "OUT Y1", "RET", "SRET", "END"}),
                  SyntaxErr::StepBeforeReturn, 7);
    // SRET inside an open MC before any FEND: two rules fire, the first one found wins.
    EXPECT_SYNTAX(Il({"LD X0", "MC N0", "SRET"}), SyntaxErr::ReturnInMc, 4);
    EXPECT_SYNTAX(Il({"LD X0", "OUT Y0", "IRET", "END"}), SyntaxErr::ReturnBeforeFend, 2);
    // An I label before FEND, and anything but I, P or END right after FEND.
    EXPECT_SYNTAX(Il({"LD X0", "OUT Y0", "I100", "END"}), SyntaxErr::LabelPlace, 2);
    EXPECT_SYNTAX(Il({"LD X0", "OUT Y0", "FEND", "LD X1", "OUT Y1", "END"}), SyntaxErr::LabelPlace, 3);
}

TEST(SyntaxCheck, McLevels) {
    EXPECT_SYNTAX(Il({"LD X0", "MC N1"}), SyntaxErr::McLevel, 1);
    // MCR N1 while only level 0 is open; MC is three steps long.
    EXPECT_SYNTAX(Il({"LD X0", "MC N0", "LD X1", "OUT Y0", "MCR N1", "END"}), SyntaxErr::McrLevel, 6);
    // An MC left open is reported at that MC, not as an incomplete program.
    EXPECT_SYNTAX(Il({"LD X0", "OUT Y0", "LD X1", "MC N0", "LD X2", "OUT Y1", "END"}),
                  SyntaxErr::McrLevel, 3);
}

TEST(SyntaxCheck, ClassesOfWords) {
    EXPECT_EQ(ClassifyInstruction(0x2400), InsnClass::Load);
    EXPECT_EQ(ClassifyInstruction(0x01E3), InsnClass::Series);
    EXPECT_EQ(ClassifyInstruction(0x0206), InsnClass::Parallel);
    EXPECT_EQ(ClassifyInstruction(0x020D), InsnClass::Output);
    EXPECT_EQ(ClassifyInstruction(0x0208), InsnClass::Invalid) << "high byte 0x02 is never an output";
    EXPECT_EQ(ClassifyInstruction(0xC400), InsnClass::Invalid);
    EXPECT_EQ(ClassifyInstruction(0x101E), InsnClass::Output);
    EXPECT_EQ(ClassifyInstruction(0x0015), InsnClass::Invalid);
    EXPECT_EQ(ClassifyInstruction(0xFFFF), InsnClass::Skip);
}

// The check reads only the code: a step file lying in the working folder is
// neither read nor removed. Its start clears the compiler's line-rejection flag.
TEST(SyntaxCheck, ReadsOnlyTheCodeAndClearsTheCompileFlag) {
    const std::filesystem::path stepFile = std::filesystem::current_path() / "ladpass1.pas";
    {
        std::ofstream f(stepFile, std::ios::binary);
        f.write("\x07\x00\x09\x00", 4);
    }
    gCompileResult = 2;
    const TCheck r = Check(Il({"LD X0", "OUT Y0", "I100"}));
    EXPECT_EQ(r.error, SyntaxErr::LabelPlace);
    EXPECT_EQ(r.step, 2) << "the position comes from the code, not from the file";
    EXPECT_TRUE(std::filesystem::exists(stepFile));
    EXPECT_EQ(gCompileResult, 0);
    std::filesystem::remove(stepFile);
}

}  // namespace
