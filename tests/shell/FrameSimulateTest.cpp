// The frame's simulate commands (the simulator's own tests count the threads of many runs).

#include <QAction>

#include <functional>
#include <string>

#include "project/Qelglobals.h"
#include "simulator/Simucomm.h"
#include "simulator/Simuplc.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/Pty.h"

using qel::test::PumpUntil;

namespace {

bool IsScanTimeText(const QString& s) {
    return s.startsWith(QStringLiteral("掃瞄時間")) && s.endsWith(QStringLiteral("( ms/10)"));
}

class FrameSimulateTest : public FrameTest {
protected:
    void TearDown() override {
        ShutdownSimulation();  // never leave a run behind for the next test
        FrameTest::TearDown();
    }

    // Starts the frame over a new project holding `lines`.
    void StartWith(std::initializer_list<const char*> lines) {
        ASSERT_TRUE(Start());
        frame_->NewClick();
        PutProgram(lines);
        frame_->RefreshCommands();
    }
};

}  // namespace

TEST_F(FrameSimulateTest, CommandsNeedAProgramAndTheSfcButtonItsView) {
    ASSERT_TRUE(Start());
    // Before New or Open there is no program to run.
    EXPECT_FALSE(frame_->MmSimulate->isEnabled());
    EXPECT_FALSE(frame_->RunCommand("MmSimulate"));
    EXPECT_FALSE(gSimRunning);

    frame_->NewClick();
    EXPECT_TRUE(frame_->MmSimulate->isEnabled());
    EXPECT_TRUE(frame_->BnSimuLad->isEnabled());
    // The SFC button belongs to the SFC view, which no window offers yet.
    EXPECT_FALSE(frame_->BnSimuSfc->isEnabled());
    frame_->SetActiveView(16);
    EXPECT_TRUE(frame_->BnSimuSfc->isEnabled());
}

TEST_F(FrameSimulateTest, MenuItemAndButtonStartAndStopARunShowingItsScanTime) {
    StartWith({"LD X0", "OUT Y0", "END"});

    // The first run: the program runs (X0 starts ON, so Y0 follows) and the
    // status bar shows the scan time.
    frame_->MmSimulate->trigger();
    ASSERT_TRUE(gSimRunning);
    EXPECT_TRUE(frame_->MmSimulate->isChecked());
    EXPECT_TRUE(frame_->BnSimuLad->isChecked());
    EXPECT_TRUE(PumpUntil([] { return SimPlc().ReadBit(SimBitIndexOf('Y', 0)) == 1; }));
    EXPECT_TRUE(PumpUntil([&] { return IsScanTimeText(frame_->QelStaBar->Panel(3)); }))
        << frame_->QelStaBar->Panel(3).toStdString();
    frame_->MmSimulate->trigger();
    EXPECT_FALSE(gSimRunning);
    EXPECT_FALSE(frame_->MmSimulate->isChecked());
    EXPECT_FALSE(frame_->BnSimuLad->isChecked());

    // Menu item and tool button, each starting and stopping.
    for (int i = 0; i < 10; ++i) {
        QAction* command = i % 2 ? frame_->BnSimuLad : frame_->MmSimulate;
        command->trigger();
        ASSERT_TRUE(gSimRunning) << "run " << i;
        ASSERT_TRUE(SimPlc().Running()) << "run " << i;
        command->trigger();
        ASSERT_FALSE(gSimRunning) << "run " << i;
        ASSERT_FALSE(SimPlc().Running()) << "run " << i;
    }
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(FrameSimulateTest, RunThatStopsOnItsOwnReleasesTheButtons) {
    // An endless jump never reaches END: the simulator ends the run itself.
    StartWith({"P0", "LD X0", "CJ P0", "END"});
    frame_->BnSimuLad->trigger();
    ASSERT_TRUE(frame_->BnSimuLad->isChecked());
    ASSERT_TRUE(PumpUntil([&] { return !frame_->BnSimuLad->isChecked(); }));
    EXPECT_FALSE(frame_->MmSimulate->isChecked());
    EXPECT_FALSE(gSimRunning);
    EXPECT_EQ(messages_.Shown().size(), 1u) << "the simulator's own message, once";

    // The next command starts a new run rather than stopping a dead one.
    frame_->MmSimulate->trigger();
    EXPECT_TRUE(frame_->MmSimulate->isChecked());
    EXPECT_TRUE(gSimRunning);
    EXPECT_TRUE(PumpUntil([&] { return messages_.Shown().size() == 2u && !frame_->MmSimulate->isChecked(); }));
}

TEST_F(FrameSimulateTest, ShutDownWhileRunningStopsTheRun) {
    StartWith({"LD X0", "OUT Y0", "END"});
    frame_->MmSimulate->trigger();
    ASSERT_TRUE(SimPlc().Running());

    gQel.Modified = 0;
    frame_->close();
    ASSERT_TRUE(frame_->ShutDownDone());
    EXPECT_FALSE(gSimRunning);
    EXPECT_FALSE(gSimLadderMonitor);
    EXPECT_FALSE(SimPlc().Running());
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
}

// A run is the run of the program it started with: a project put in its place
// (File > New, File > Open) ends it, so that no state of the old program
// shows over the new one and the buttons offer a run of the new program.
TEST_F(FrameSimulateTest, ANewOrOpenedProjectEndsTheRunOfTheOldProgram) {
    const std::string other = (projects_ / "other.kzp").string();
    ASSERT_TRUE(Start());
    SaveProgram(other, {"LD X1", "OUT Y1", "END"});
    const struct {
        const char* path;
        std::function<void()> replace;
    } paths[] = {
        {"File > New", [&] { frame_->NewClick(); }},
        {"File > Open", [&] {
             dialogs_.QueuePath(other);
             frame_->OpenClick();
             ASSERT_EQ(gQel.ProgramFileName, other);
         }},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.path);
        frame_->NewClick();
        PutProgram({"LD X0", "OUT Y0", "END"});
        frame_->RefreshCommands();
        frame_->MmSimulate->trigger();
        ASSERT_TRUE(PumpUntil([] { return SimPlc().ReadBit(SimBitIndexOf('Y', 0)) == 1; }));
        gQel.Modified = 0;
        ASSERT_NO_FATAL_FAILURE(p.replace());
        EXPECT_FALSE(gSimRunning);
        EXPECT_FALSE(gSimLadderMonitor);
        EXPECT_FALSE(SimPlc().Running());
        EXPECT_FALSE(frame_->MmSimulate->isChecked());
        EXPECT_FALSE(frame_->BnSimuLad->isChecked());
        EXPECT_TRUE(frame_->QelStaBar->Panel(3).isEmpty()) << frame_->QelStaBar->Panel(3).toStdString();
        // The next command runs the new program rather than stopping the old.
        frame_->MmSimulate->trigger();
        EXPECT_TRUE(gSimRunning);
        frame_->MmSimulate->trigger();
        EXPECT_FALSE(gSimRunning);
    }
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
    EXPECT_TRUE(messages_.Shown().empty());
}
