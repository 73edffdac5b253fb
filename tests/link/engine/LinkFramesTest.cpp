// The frames the link writes for each function, byte for byte, as the PLC
// emulator receives them over a pseudo-terminal, and the replies the link
// takes from it.
#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using qel::link::gCommData;
using qel::link::gCommDataLen;
using qel::link::TTransData;

namespace {

void Payload(std::initializer_list<std::uint8_t> bytes) {
    gCommDataLen = 0;
    for (auto b : bytes) gCommData[gCommDataLen++] = b;
}

}  // namespace

TEST_F(LinkFixture, StandardFunctionFramesByteForByte) {
    SequenceJob job({
        [](TTransData& l) { l.SendCommand(0x0C2D, 1, 1); },        // M1069
        [](TTransData& l) { l.SendCommand(5097, 3, 3); },          // D1001 x 3
        [](TTransData& l) { l.SendCommand(0x0C31, 0xFF00, 5); },   // M1073 ON
        [](TTransData& l) { l.SendCommand(0x1475, 0x6C2D, 6); },   // D1141
        [](TTransData& l) { l.SendCommand(14, 0, 8); },            // clear the password
        [](TTransData& l) {
            Payload({0x00, 0x01, 0x00, 0x02});
            l.SendCommand(0x1000, 2, 16);                          // D0, D1
        },
        [](TTransData& l) {
            Payload({0x00, 0x01, 0x86, 0xA0});
            l.SendCommand(0x0EC8, 1, 16);                          // C200: 4 bytes per register
        },
        [](TTransData& l) { l.SendCommand(0, 0, 17); },
    });
    emu.S.regs[0x1475] = 0x6C2D;  // the unlock word lets function 8 clear the password
    ASSERT_TRUE(RunJob(4, job));
    const std::vector<std::string> expected = {
        ":01010C2D0001C4\r\n",
        ":010313E90003FD\r\n",
        ":01050C31FF00BE\r\n",
        ":010614756C2DD7\r\n",
        ":01080EE9\r\n",
        ":0110100000020400010002D6\r\n",
        ":01100EC8000104000186A0ED\r\n",
        ":0111EE\r\n",
    };
    EXPECT_EQ(Requests(), expected);
    EXPECT_TRUE(frame.msgs.empty());
    // What the emulator did with them.
    EXPECT_EQ(emu.S.c32[0], 100000u);
    EXPECT_EQ(emu.S.regs[0x1000], 1);
    EXPECT_EQ(emu.S.regs[0x1001], 2);
    // The decoded replies: function code first, LRC last.
    ASSERT_EQ(job.replies.size(), 8u);
    EXPECT_EQ(job.replies[1][0], 3);
    EXPECT_EQ(job.replies[1][1], 6);
    EXPECT_EQ((job.replies[1][2] << 8 | job.replies[1][3]), emu.S.TypeWord());
    EXPECT_EQ(job.replies[7][0], 0x11);
    EXPECT_EQ(job.replies[7][3], 0x00);  // the PLC is stopped
    // After the last reply the link is idle and closes the port.
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
}

TEST_F(LinkFixture, ReadsTakeWhatTheRequestAskedFor) {
    emu.S.coils[0x0C2D] = 1;
    emu.S.regs[0x1000 + 10] = 0xBEEF;
    emu.S.c32[55] = 0x01020304;  // C255
    SequenceJob job({
        [](TTransData& l) { l.SendCommand(0x0C2D, 1, 1); },
        [](TTransData& l) { l.SendCommand(0x100A, 1, 3); },
        [](TTransData& l) { l.SendCommand(0x0EFE, 2, 3); },  // C254, C255: 8 bytes
        [](TTransData& l) { l.SendCommand(0x0EC6, 3, 3); },  // C198, C199 (2 bytes each), C200 (4)
    });
    ASSERT_TRUE(RunJob(5, job));
    ASSERT_EQ(job.replies.size(), 4u);
    EXPECT_EQ(job.replies[0][2] & 1, 1);
    EXPECT_EQ(job.replies[1][2], 0xBE);
    EXPECT_EQ(job.replies[2][1], 8);
    EXPECT_EQ(job.replies[2][9], 0x04);
    EXPECT_EQ(job.replies[3][1], 8);
    EXPECT_TRUE(frame.msgs.empty());
}
