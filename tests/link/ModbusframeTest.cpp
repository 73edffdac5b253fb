// Frame encoding and the reply check, without a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Modbusframe.h"
#include "link/Writequeues.h"

using namespace qel::link;

namespace {
std::string Enc(std::vector<std::uint8_t> b) { return EncodeFrame(b.data(), b.size()); }
}  // namespace

TEST(ModbusFrame, EncodesWithLrcAndCrLf) {
    // Function 3 at D1001, 3 registers, station 1.
    EXPECT_EQ(Enc({0x01, 0x03, 0x13, 0xE9, 0x00, 0x03}), ":010313E90003FD\r\n");
    // A sum that is already 0 gives LRC 00, and digits are upper case.
    EXPECT_EQ(Enc({0x80, 0x80}), ":808000\r\n");
    EXPECT_EQ(Enc({0xAB, 0xCD}), ":ABCD88\r\n");
}

TEST(ModbusFrame, CheckReplyKinds) {
    DecodedReply r = CheckReply(":010302000AF0\r\n");
    ASSERT_EQ(r.kind, kNormalReply);
    EXPECT_EQ(r.station, 1);
    ASSERT_EQ(r.len, 5u);  // function, count, two data bytes, LRC
    EXPECT_EQ(r.data[0], 0x03);
    EXPECT_EQ(r.data[3], 0x0A);
    EXPECT_EQ(r.data[4], 0xF0);

    r = CheckReply(":018302" "7A\r\n");
    EXPECT_EQ(r.kind, kExceptionReply);
    EXPECT_EQ(r.data[1], 2);
}

TEST(ModbusFrame, CheckReplyRefusesDamagedFrames) {
    const std::string good = ":010302000AF0\r\n";
    ASSERT_EQ(CheckReply(good).kind, kNormalReply);
    const char* bad[] = {
        ":010302000AF1\r\n",   // LRC off by one
        ":010302000af0\r\n",   // lower-case digits
        ":0103020G0AF0\r\n",   // a character that is no digit
        ":010302000AF0\n",     // LF without CR
        ":010302000AF0\r",     // no LF
        "010302000AF0\r\n",    // no colon
        ":010302000AF\r\n",    // odd number of digits
        ":01FF\r\n",           // station and LRC only
        ":\r\n",
        "",
    };
    for (const char* f : bad) EXPECT_EQ(CheckReply(f).kind, kBadFrame) << f;
    // Longer than any frame the link can receive.
    std::string longFrame = ":01";
    longFrame.append(kRxMax, '0');
    longFrame += "FF\r\n";
    EXPECT_EQ(CheckReply(longFrame).kind, kBadFrame);
}

TEST(ModbusFrame, EncodeAndCheckRoundTrip) {
    std::vector<std::uint8_t> b{0x01, 0x10, 0x0E, 0xC8, 0x00, 0x01, 0x04, 0x00, 0x01, 0x86, 0xA0};
    const DecodedReply r = CheckReply(Enc(b));
    ASSERT_EQ(r.kind, kNormalReply);
    ASSERT_EQ(r.len, b.size());  // the LRC replaces the station in the count
    for (std::size_t i = 1; i < b.size(); ++i) EXPECT_EQ(r.data[i - 1], b[i]);
    EXPECT_EQ(Lrc(b.data(), b.size()), r.data[r.len - 1]);
}

TEST(WriteQueues, FullQueueRefusesInsteadOfDroppingPendingWrites) {
    CoilWriteQueue q;
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(q.Push({static_cast<std::uint16_t>(i), true}));
    EXPECT_TRUE(q.Full());
    EXPECT_FALSE(q.Push({999, true}));
    EXPECT_EQ(q.Count(), 50u);
    // The ring wraps: pop some, push some, the order holds.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(q.Pop().address, i);
    for (int i = 50; i < 60; ++i) ASSERT_TRUE(q.Push({static_cast<std::uint16_t>(i), false}));
    for (int i = 10; i < 60; ++i) EXPECT_EQ(q.Pop().address, i);
    EXPECT_TRUE(q.Empty());
}
