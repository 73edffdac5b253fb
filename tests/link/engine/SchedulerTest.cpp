// The scheduler's order of service over a pseudo-terminal: the PLC
// information query, monitor set-ups, queued coil and register writes, the
// monitor round robin with its status polls, and the running job.
#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using qel::link::gLadderMonitorRefresh;
using qel::link::kMsgWriteQueueFull;
using qel::link::TTransData;

namespace {
// Function and address of the n-th request the emulator received.
std::pair<int, int> FnAddr(const PlcEmulator& e, std::size_t n) {
    const auto& b = e.Log().at(n).bytes;
    return {b.at(1), b.size() >= 4 ? (b[2] << 8 | b[3]) : -1};
}
}  // namespace

TEST_F(LinkFixture, OrderOfServiceWithMonitorClients) {
    emu.S.regs[0x1000] = 11;  // D0, read by client "1"
    emu.S.regs[0x1001] = 22;  // D1, read by client "3"
    emu.S.regs[0x13F2] = 7;   // D1010 scan time
    emu.S.coils[0x0C30] = 1;  // M1072: running
    ReadClient ladder(0x1000, 1), devMon(0x1001, 1);
    link->RegisterMonitorClient("1", &ladder);
    link->RegisterMonitorClient("3", &devMon);
    ASSERT_TRUE(link->OpenPort());
    // Everything is pending before the first tick runs.
    gLadderMonitorRefresh = 1;
    link->QueueDeviceWrite(0x1002, 1, 5, 16);
    link->QueueDeviceWrite(0x0500, 0xFF00, 0, 5);  // Y0 ON
    link->AddMonitorClient("1");
    link->AddMonitorClient("3");
    ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() >= 30; }));

    std::vector<std::pair<int, int>> expected = {
        {3, 5097},    // information query: type word
        {3, 0x1400},  // information query: D1024
        {16, 0x1000}, // the ladder's monitor set-up
        {5, 0x0500},  // queued coil write
        {5, 3072},    // the monitor coil ON queued by the information query
        {16, 0x1002}, // queued register write
    };
    for (int i = 0; i < 20; ++i) expected.push_back({3, i % 2 ? 0x1001 : 0x1000});
    expected.push_back({3, 5106});  // scan time after 20 client replies
    expected.push_back({1, 3120});  // then the run/stop bit
    expected.push_back({3, 0x1000});
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(FnAddr(emu, i), expected[i]) << i;

    EXPECT_EQ(ladder.setups, 1);
    EXPECT_EQ(ladder.values.front(), 1);  // the set-up wrote 1 to D0
    EXPECT_EQ(devMon.values.front(), 22);
    EXPECT_EQ(frame.scanTimes, std::vector<std::uint16_t>{7});
    EXPECT_EQ(frame.runStates, std::vector<bool>{true});
    EXPECT_EQ(frame.variant, 0);
    EXPECT_EQ(link->BlockMonitor, 1u);  // family class 1
    EXPECT_TRUE(emu.S.monitorCoil);
    EXPECT_TRUE(frame.Saw(qel::link::LampColor::Aqua));

    // Removing the last client leaves the link idle: the port closes.
    link->RemoveMonitorClient("1");
    link->RemoveMonitorClient("3");
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(LinkFixture, InformationQuerySelectsTheAlternateMonitorAreas) {
    emu.Configure(0, 1, 60);       // class 0, model 60: no block monitor
    emu.S.regs[0x1400] = 2;        // D1024
    ReadClient client(0x1000, 1);
    link->RegisterMonitorClient("3", &client);
    ASSERT_TRUE(link->OpenPort());
    link->AddMonitorClient("3");
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 1; }));
    EXPECT_EQ(link->PlcVariant, 2);
    EXPECT_EQ(link->MonitorBase[0], 3128);
    EXPECT_EQ(link->MonitorBase[4], 17484);
    EXPECT_EQ(link->BlockMonitor, 0u);
    EXPECT_EQ(link->PlcCapacity, 7584u);
    EXPECT_EQ(link->PlcFamilyClass, 0);
    EXPECT_EQ(FnAddr(emu, 2), std::make_pair(5, 3128));
    EXPECT_EQ(frame.variant, 2);
}

TEST_F(LinkFixture, QueuedCoilWriteGoesBeforeTheJobsNextStep) {
    ScriptJob job;
    int step = 0;
    job.request = [&](TTransData& l) { l.SendCommand(0x1000 + step, 1, 3); };
    job.reply = [&](TTransData& l) {
        if (++step == 1) l.QueueDeviceWrite(0x0501, 0xFF00, 0, 5);
        if (step == 3) l.EndJob();
    };
    ASSERT_TRUE(RunJob(4, job));
    ASSERT_EQ(emu.RequestCount(), 4u);
    const std::pair<int, int> expected[] = {{3, 0x1000}, {5, 0x0501}, {3, 0x1001}, {3, 0x1002}};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(FnAddr(emu, i), expected[i]) << i;
    EXPECT_EQ(job.replies.size(), 3u);  // the write's reply is not the job's
    EXPECT_TRUE(frame.Saw(qel::link::LampColor::Yellow));
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
}

TEST_F(LinkFixture, NoJobRunsWhileMonitorClientsAreRegistered) {
    ReadClient client(0x1000, 1);
    link->RegisterMonitorClient("1", &client);
    ScriptJob job;
    int phaseSeen = -1;
    job.request = [&](TTransData& l) {
        phaseSeen = l.Phase;
        l.SendCommand(0x1005, 1, 3);
    };
    link->RegisterJob(10, &job);
    ASSERT_TRUE(link->OpenPort());
    link->AddMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 1; }));
    link->StartJob(10, 7);
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 5; }));
    EXPECT_EQ(job.requests, 0);
    link->RemoveMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return job.requests > 0; }));
    EXPECT_EQ(phaseSeen, 7);  // the job resumes at the step it was given
    link->EndJob();
}

TEST_F(LinkFixture, FullWriteQueueRefusesWithAMessageAndLosesNothing) {
    // The port is closed, so nothing is sent while the queue fills.
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(link->QueueDeviceWrite(static_cast<std::uint16_t>(0x0800 + i), 0xFF00, 0, 5));
    EXPECT_FALSE(link->QueueDeviceWrite(0x0900, 0xFF00, 0, 5));
    EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgWriteQueueFull});
    // The register queue is a queue of its own.
    EXPECT_TRUE(link->QueueDeviceWrite(0x1000, 1, 9, 16));

    ASSERT_TRUE(link->OpenPort());
    link->StartComTmr();
    ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() == 51 && !port->IsOpen(); }));
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(emu.S.coils[0x0800 + i]) << i;
    EXPECT_FALSE(emu.S.coils[0x0900]);
    EXPECT_EQ(emu.S.regs[0x1000], 9);
}

TEST_F(LinkFixture, RegisterWriteStillQueuedKeepsThePortOpen) {
    ScriptJob job;
    job.request = [](TTransData& l) { l.SendCommand(0x1000, 1, 3); };
    job.reply = [](TTransData& l) {
        l.EndJob();
        l.QueueDeviceWrite(0x1003, 1, 0x55, 16);
    };
    ASSERT_TRUE(RunJob(4, job));
    ASSERT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
    // Closed only after the queued write was answered.
    ASSERT_EQ(emu.RequestCount(), 2u);
    EXPECT_EQ(emu.S.regs[0x1003], 0x55);
}
