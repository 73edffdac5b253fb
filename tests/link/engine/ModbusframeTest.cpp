// Frame encoding and the damaged frames the reply check refuses, without a line.
// (Good replies of every kind are decoded in every test over the line.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/engine/Modbusframe.h"
#include "link/engine/Writequeues.h"

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
