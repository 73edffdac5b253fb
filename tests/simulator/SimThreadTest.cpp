// The simulator thread as the frame drives it: start, stop, device states and
// clicks from the GUI side, and a run that stops itself.
#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "project/Msgtable.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <filesystem>

#include "simulator/SimMonitor.h"
#include "simulator/Simuplc.h"
#include "tests/simulator/SimRig.h"
#include "tests/simulator/SimThreads.h"
#include "tests/support/ScriptedMessages.h"

using simtest::Assemble;
using simtest::Bit;
using simtest::SimMonitorTest;
using simtest::WaitFor;

namespace {

int ThreadsOfThisProcess() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

TEST(SimThread, StartAndStopAHundredTimesLeavesNoThread) {
    const auto image = Assemble("LD X0\nOUT Y0\nEND");
    TPLC plc;
    // One run first, so that helper threads a runtime starts on the first
    // thread creation (a sanitizer's, for one) are counted in `before`.
    ASSERT_TRUE(plc.Start(image.data(), image.size()));
    plc.Stop();
    const int before = ThreadsOfThisProcess();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(plc.Start(image.data(), image.size())) << "start " << i;
        EXPECT_TRUE(plc.Running());
        EXPECT_FALSE(plc.Start(image.data(), image.size())) << "one run at a time";
        if (i % 10 == 0) {
            ASSERT_TRUE(WaitFor([&] { return plc.ScanCount() > 0; }));
        }
        plc.Stop();
        EXPECT_FALSE(plc.Running());
    }
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
    // A joined thread can stay listed for a moment while the kernel reaps
    // it; one that was never joined stays for good.
    EXPECT_TRUE(WaitFor([&] { return ThreadsOfThisProcess() == before; })) << ThreadsOfThisProcess() << " threads, " << before << " before";
}

TEST(SimThread, RunShowsStatesAndTakesClicks) {
    auto image = Assemble("LD X0\nAND X1\nANI X2\nOUT Y0\nEND");
    const auto program = image;
    TPLC plc;
    ASSERT_TRUE(plc.Start(image.data(), image.size()));
    // The run works on its own copy: the editor may change the program meanwhile.
    std::fill(image.begin(), image.end(), 0);
    // X0 and X1 start ON and X2 OFF, so the rung closes at once.
    EXPECT_TRUE(WaitFor([&] { return plc.ReadBit(Bit("Y0")) == 1; }));
    plc.ToggleBit(Bit("X2"));
    EXPECT_TRUE(WaitFor([&] { return plc.ReadBit(Bit("Y0")) == 0; }));
    plc.SetBit(Bit("X2"), false);
    EXPECT_TRUE(WaitFor([&] { return plc.ReadBit(Bit("Y0")) == 1; }));
    plc.Stop();

    // The last states stay readable, and clicks still land while stopped.
    TSimMemory mem;
    plc.ReadDevices(mem);
    EXPECT_EQ(mem.Y()[0], 1);
    EXPECT_EQ(mem.X()[0], 1);
    plc.ToggleBit(Bit("X0"));
    EXPECT_EQ(plc.ReadBit(Bit("X0")), 0);

    // A new run starts from cleared memory with the inputs preset again.
    ASSERT_TRUE(plc.Start(program.data(), program.size()));
    plc.Stop();
    plc.ReadDevices(mem);
    EXPECT_EQ(mem.X()[0], 1);
    EXPECT_EQ(mem.X()[1], 1);
    EXPECT_EQ(mem.X()[2], 0);
}

// A click on a counter's contact flips the contact and nothing else: the
// count stays, so the contact stays as clicked until the next count.
TEST(SimThread, AClickOnACounterContactKeepsItsCount) {
    const auto image = Assemble("LD X0\nCNT C0 K1\nLD C0\nOUT Y0\nEND");
    TPLC plc;
    ASSERT_TRUE(plc.Start(image.data(), image.size()));
    ASSERT_TRUE(WaitFor([&] { return plc.ReadBit(Bit("Y0")) == 1; }));
    plc.ToggleBit(Bit("C0"));
    EXPECT_TRUE(WaitFor([&] { return plc.ReadBit(Bit("Y0")) == 0; }));
    TSimMemory mem;
    plc.ReadDevices(mem);
    EXPECT_EQ(mem.C()[0], 0);
    EXPECT_EQ(mem.CPV[0], 1) << "the count stays";
    plc.Stop();
}

TEST_F(SimMonitorTest, RunawayScanStopsTheRunWithAMessage) {
    qel::test::ScriptedMessages messages;
    ASSERT_TRUE(gMsgTable.LoadFromFile(qel::InstallDir() / "QEL.Txt"));
    const auto image = Assemble("P0\nLD X0\nCJ P0\nEND");
    TSimMonitor monitor(SimPlc());  // as the frame creates it
    ASSERT_EQ(gSimThread, &SimPlc());
    ASSERT_TRUE(ToggleSimulation(image.data(), image.size()));
    EXPECT_EQ(gSimRunning.load(), 1);
    EXPECT_EQ(gSimLadderMonitor.load(), 1);

    int stopped = 0;
    QObject::connect(&monitor, &TSimMonitor::Stopped, [&] { ++stopped; });
    ASSERT_TRUE(WaitFor([&] { return !gSimThread->Running(); }));
    monitor.Poll();
    EXPECT_EQ(stopped, 1);
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(messages.Shown()[0].rfind(gMsgTable.Get(kMsgSimRunaway), 0), 0u) << messages.Shown()[0];
    EXPECT_NE(messages.Shown()[0].find("END"), std::string::npos);
    EXPECT_EQ(gSimRunning.load(), 0);
    EXPECT_EQ(gSimLadderMonitor.load(), 0);
    monitor.Poll();
    EXPECT_EQ(stopped, 1) << "reported once";
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
}

TEST_F(SimMonitorTest, ToggleStartsAndStopsAndTheMonitorReports) {
    qel::test::ScriptedMessages messages;
    const auto image = Assemble("LD X0\nOUT Y0\nEND");
    ASSERT_TRUE(ToggleSimulation(image.data(), image.size(), true));
    EXPECT_EQ(gSimSfcMonitor.load(), 1);
    EXPECT_EQ(gSimLadderMonitor.load(), 0);

    TSimMonitor monitor(*gSimThread);
    int scans = 0, ladderRepaints = 0;
    QStringList status;
    QObject::connect(&monitor, &TSimMonitor::ScanPublished, [&] { ++scans; });
    QObject::connect(&monitor, &TSimMonitor::LadderRepaintWanted, [&] { ++ladderRepaints; });
    QObject::connect(&monitor, &TSimMonitor::StatusChanged, [&](const QString& t) { status << t; });
    ASSERT_TRUE(WaitFor([&] { return gSimThread->ScanCount() > 0; }));
    monitor.Poll();
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(ladderRepaints, 0) << "a run from the chart view asks for no ladder repaint";
    EXPECT_EQ(status.size(), 1) << "the scan time (its text: FrameSimulateTest)";

    EXPECT_FALSE(ToggleSimulation(image.data(), image.size()));
    EXPECT_FALSE(gSimThread->Running());
    EXPECT_EQ(gSimRunning.load(), 0);
    EXPECT_EQ(gSimSfcMonitor.load(), 0);
    monitor.Poll();
    EXPECT_TRUE(messages.Shown().empty()) << "a stop command shows nothing";
    ShutdownSimulation();
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
}

}  // namespace
