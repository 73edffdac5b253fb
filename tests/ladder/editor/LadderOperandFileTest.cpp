// A program read from a file may hold an operand that reaches past the
// model's last device (written by another program, or on another model): it
// opens as it stands, runs without a value for any device the model lacks,
// saves byte for byte and opens again the same. The default model's last M is
// M1279, its last D D1311.
#include <fstream>
#include <iterator>

#include "simulator/Simucomm.h"
#include "simulator/Simuplc.h"
#include "tests/ladder/editor/OperandPathsFixture.h"
#include "tests/support/Pty.h"

namespace {

struct FileRow {
    OperandRow row;
    char letter;  // the device past the model's last that the run would reach
    int number;
};

const FileRow kFileRows[] = {
    {{"CMP's second result after M1279", 0, "CMP D0 D1 M1279", "M1279", "M100", false}, 'M', 1280},
    {{"K4M1270 of MOV K-1 past M1279", 0, "MOV K-1 K4M1270", "K4M1270", "K4M100", false}, 'M', 1285},
    {{"MUL's high word beside D1311", 0, "MUL K300 K300 D1311", "D1311", "D100", false}, 'D', 1312},
};

constexpr int kConvertRefused = 162, kModelLacks = 143;

class LadderOperandFileTest : public OperandPathsTest {
protected:
    void TearDown() override {
        ShutdownSimulation();
        OperandPathsTest::TearDown();
    }
    std::string Bytes() const {
        std::ifstream in(Project(".kzp"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

}  // namespace

TEST_F(LadderOperandFileTest, AProgramFileHoldingSuchAnOperandOpensRunsAndSavesAsItStands) {
    for (const FileRow& f : kFileRows) {
        const OperandRow& r = f.row;
        SCOPED_TRACE(r.path);
        const Lines taken{"LD X0", r.line};
        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        ASSERT_NO_FATAL_FAILURE(PutHeld(r));
        ASSERT_EQ(Program(), taken);
        SaveAs();
        const std::string saved = Bytes();
        ASSERT_FALSE(saved.empty());

        // Opened in a new project: the program as it stands, and a ladder
        // window that says why it shows no ladder of it, naming the step and
        // the instruction.
        gQel.Modified = 0;
        frame_->NewClick();
        messages_.Clear();
        Open();
        ViewList();
        EXPECT_EQ(Program(), taken) << "opened";
        ViewLadder();
        EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kConvertRefused) + "\n" + gMsgTable.Get(kModelLacks) + " 1 " + r.line))
            << ::testing::PrintToString(messages_.Shown());

        // Run: X0 starts ON, so the instruction runs; the device past the
        // model's last takes no value.
        messages_.Clear();
        frame_->MmSimulate->trigger();
        ASSERT_TRUE(gSimRunning);
        const std::uint64_t from = SimPlc().ScanCount();
        EXPECT_TRUE(qel::test::PumpUntil([&] { return SimPlc().ScanCount() > from + 3; }));
        TSimMemory mem{};
        SimPlc().ReadDevices(mem);
        if (f.letter == 'D')
            EXPECT_EQ(mem.D[f.number], 0) << "run";
        else
            EXPECT_EQ(mem.bits[SimBitIndexOf(f.letter, f.number)], 0) << "run";
        frame_->MmSimulate->trigger();
        ASSERT_FALSE(gSimRunning);

        // Saved again and opened again: the same bytes, the same program.
        Save();
        EXPECT_EQ(Bytes(), saved) << "saved again";
        gQel.Modified = 0;
        frame_->NewClick();
        Open();
        ViewList();
        EXPECT_EQ(Program(), taken) << "opened again";
    }
}
