// The frame's conversions between the SFC chart and the program.
#include <algorithm>
#include <vector>

#include "core/Codetranslate.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/model/Sfctocode.h"
#include "tests/shell/FrameFixture.h"

namespace {

std::vector<std::uint8_t> Program() { return {gProgram, gProgram + gProgramCapacity}; }

std::vector<std::uint8_t> Assemble(const char* line) {
    EXPECT_TRUE(SetInputText(line));
    EXPECT_EQ(AssembleInstruction(), 1);
    return {gInsnBuf.code, gInsnBuf.code + gInsnBuf.length};
}

using FrameSfcTest = FrameTest;

}  // namespace

TEST_F(FrameSfcTest, ChartToCodeAndBack) {
    ASSERT_TRUE(Start());
    frame_->NewClick();
    PutProgram({"LD X7", "SET S0", "STL S0", "LD X0", "SET S20", "STL S20", "OUT Y1", "LD X1", "OUT S0", "RET", "END"});
    const auto original = Program();

    // Nothing drawn yet: chart to code would wipe the program, so it is not offered.
    EXPECT_FALSE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(Program(), original);

    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_EQ(gSfcGrid[0], kSfcLad);
    EXPECT_EQ(gSfcGrid[1 * kSfcRowBytes], kSfcInitStep);
    EXPECT_EQ(gSfcGrid[2 * kSfcRowBytes], kSfcTransition);
    EXPECT_EQ(gSfcGrid[3 * kSfcRowBytes], kSfcStep);
    ASSERT_NE(FindSfcCodeRec(2, 0), nullptr);

    // A changed condition goes into the program, and the ladder follows.
    FindSfcCodeRec(2, 0)->code = Assemble("LD X5");
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(180)));
    const auto changed = Program();
    const auto ldX5 = Assemble("LD X5");
    EXPECT_NE(std::search(changed.begin(), changed.end(), ldX5.begin(), ldX5.end()), changed.end());
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_FALSE(std::all_of(gLadderRows, gLadderRows + kLadderRowBytes, [](std::uint8_t b) { return b == 0; }));

    // A chart that cannot be converted leaves the program as it was.
    // (a step below the last LAD block: no initial step opened its chain).
    gSfcGrid[7 * kSfcRowBytes] = kSfcStep;
    gSfcGrid[7 * kSfcRowBytes + 1] = 30;
    gSfcGrid[7 * kSfcRowBytes + 2] = 0;
    messages_.Clear();
    frame_->RunCommand("MmSfcToCode");
    EXPECT_EQ(Program(), changed);
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(1)));
    EXPECT_EQ(gSfcChartError, 1);
}
