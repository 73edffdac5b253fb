// The SFC chart's monitor client against the emulator over a pseudo-terminal:
// the visible-step list on the wire frame by frame, the step bits read back,
// the edge cases of an empty, a 15- and an over-96-step screen, and a reply
// longer than the client keeps.
#include <numeric>

#include "tests/link/LinkTestSupport.h"
#include "link/online/Sfcmoni.h"

using namespace qel::test;
using namespace qel::link;

namespace {

class SfcMonitorTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        mon.VisibleSteps = [this] { return steps; };
        mon.OnRedraw = [this] { ++redraws; };
        link->RegisterMonitorClient("2", &mon);
    }
    void TearDown() override {
        link->RegisterMonitorClient("2", nullptr);
        gSfcMonitorRefresh = 0;
    }
    void Start() {
        ASSERT_TRUE(link->OpenPort());
        gSfcMonitorRefresh = 1;
        link->AddMonitorClient("2");
    }
    // Steps first, first + 1, ... (n of them).
    static std::vector<std::uint16_t> Steps(int n, std::uint16_t first = 10) {
        std::vector<std::uint16_t> s(static_cast<std::size_t>(n));
        std::iota(s.begin(), s.end(), first);
        return s;
    }
    static int Word(const std::vector<std::uint8_t>& r, int k) { return r[2 * k] << 8 | r[2 * k + 1]; }
    // The first register and the count of a request.
    static std::pair<int, int> Head(const std::vector<std::uint8_t>& r) { return {Word(r, 1), Word(r, 2)}; }
    // Register k of a function 16 request's data (k = 0 the first).
    static int Data(const std::vector<std::uint8_t>& r, int k) { return r[7 + 2 * k] << 8 | r[8 + 2 * k]; }

    TSfcMonitor mon;
    std::vector<std::uint16_t> steps;
    int redraws = 0;
};

}  // namespace

TEST_F(SfcMonitorTest, FifteenStepsGoOutInOneFrameOfSixteenRegisters) {
    // One frame of the count and 15 numbers, then a read of one register (a
    // number left over for a frame of its own: the 96-step test).
    steps = Steps(15);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return !Requests(3, 16584, 16604).empty(); }));
    auto writes = Requests(16, 16384, 16584);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(Head(writes[0]), std::make_pair(16384, 16));
    EXPECT_EQ(Data(writes[0], 0), 15);
    EXPECT_EQ(Data(writes[0], 1), 10);
    EXPECT_EQ(Data(writes[0], 15), 24);
    EXPECT_EQ(Head(Requests(3, 16584, 16604)[0]), std::make_pair(16584, 1));
    EXPECT_GT(redraws, 0);
}

TEST_F(SfcMonitorTest, ActiveStepsFollowTheStepRelaysAndOnlyNinetySixAreListed) {
    // 97 step-like cells on screen: 96 listed (the count and 15, five frames
    // of 16, the last number alone), the bits of 6 registers; the 97th has no bit.
    steps = Steps(97, 200);
    emu.S.coils[200] = 1;   // S200: first list entry
    emu.S.coils[295] = 1;   // S295: entry 95, the last listed
    emu.S.coils[296] = 1;   // S296: not listed
    Start();
    ASSERT_TRUE(WaitUntil([&] { return mon.StepOn(0) && mon.StepOn(95); }));
    const auto writes = Requests(16, 16384, 16584);
    ASSERT_GE(writes.size(), 7u);
    EXPECT_EQ(Data(writes[0], 0), 96);
    for (int f = 1; f < 6; ++f) EXPECT_EQ(Head(writes[f]), std::make_pair(16384 + 16 * f, 16)) << f;
    EXPECT_EQ(Head(writes[6]), std::make_pair(16384 + 96, 1));
    EXPECT_EQ(Data(writes[6], 0), 295);
    EXPECT_EQ(Word(Requests(3, 16584, 16604)[0], 2), 6);
    EXPECT_EQ(mon.StepListBytes, 192u);
    EXPECT_FALSE(mon.StepOn(1));
    EXPECT_FALSE(mon.StepOn(96));
}

TEST_F(SfcMonitorTest, NoVisibleStepAsksForTheScanTime) {
    steps.clear();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Requests(3, 0x13F2, 0x13F3).size() >= 2; }));
    EXPECT_TRUE(Requests(16, 16384, 16584).empty());
    EXPECT_TRUE(Requests(3, 16584, 16604).empty());

}

TEST_F(SfcMonitorTest, AReplyLongerThanTwelveBytesKeepsTwelve) {
    // A bit reply as the link hands it over: function, byte count, 14 data
    // bytes, check byte.
    mon.MonitorState = 9;
    mon.StepListBytes = 192;
    gCommData[0] = 3;
    gCommData[1] = 14;
    for (int k = 0; k < 14; ++k) gCommData[2 + k] = static_cast<std::uint8_t>(0xA0 + k);
    gCommData[16] = 0;
    gCommDataLen = 17;
    EXPECT_TRUE(mon.ReceiveMonitorStep(*link));
    for (int k = 0; k < kSfcMoniReplyBytes; ++k) EXPECT_EQ(mon.ReplyBits[k], 0xA0 + k) << k;
    // Alone on the link, the next turn reads the bits again.
    EXPECT_EQ(mon.MonitorState, 9);
    // A short reply clears the bits it does not carry.
    gCommData[1] = 1;
    gCommData[2] = 0x01;
    gCommDataLen = 4;
    EXPECT_TRUE(mon.ReceiveMonitorStep(*link));
    EXPECT_TRUE(mon.StepOn(0));
    EXPECT_EQ(mon.ReplyBits[1], 0);
}
