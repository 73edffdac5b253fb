// Result codes and exceptions, the 55 ms tick timers, the data-trigger
// matching routine and the line-settings mapping: all without a device.
#include <gtest/gtest.h>

#include <cstring>
#include <typeinfo>

#include "platform/Clock.h"
#include "serial/Dispatcher.h"
#include "serial/Serialerrors.h"
#include "serial/Serialmisc.h"
#include "serial/Serialtermios.h"

using namespace qel;

namespace {

template <class E>
void ExpectRaises(int32_t code, int32_t expectedCode) {
    try {
        CheckException(code);
        FAIL() << "no exception for " << code;
    } catch (const E& e) {
        EXPECT_EQ(XlatException(e), expectedCode) << code;
    } catch (const std::exception& e) {
        FAIL() << code << " raised " << typeid(e).name();
    }
}

TEST(SerialErrors, CodesBecomeTheirClasses) {
    EXPECT_EQ(CheckException(0), 0);
    EXPECT_EQ(CheckException(24), 24);
    ExpectRaises<EBadId>(-2001, -2001);
    ExpectRaises<ECommNotOpen>(-2007, -2007);
    ExpectRaises<EAlreadyOpen>(-2008, -2008);
    ExpectRaises<ENoPortSelected>(-2011, -2011);
    ExpectRaises<EPutBlockFail>(-3004, -3004);
    ExpectRaises<EOutputBufferTooSmall>(-3006, -3006);
    ExpectRaises<EBufferIsEmpty>(-3007, -3007);
    ExpectRaises<ETriggerTooLong>(-5002, -5002);
    ExpectRaises<EBadTriggerHandle>(-5003, -5003);
    ExpectRaises<EBadArgument>(-1002, -1002);
    // Every class shares the common base.
    ExpectRaises<ESerialException>(-5003, -5003);
    // Codes without a class of their own: the generic exception with code 0.
    ExpectRaises<ESerialException>(-9999, 0);
    ExpectRaises<ESerialException>(-3002, 0);
    ExpectRaises<ESerialException>(-1, 0);
    ExpectRaises<ESerialException>(-5001, 0);
}

TEST(SerialErrors, OperatingSystemNumbers) {
    try {
        CheckException(-2);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_STREQ(e.what(), "No such file or directory");
        EXPECT_EQ(XlatException(e), -2);
    }
    EXPECT_THROW(CheckException(-8), std::bad_alloc);
    EXPECT_EQ(XlatException(std::bad_alloc()), -8);
    EXPECT_EQ(XlatException(std::logic_error("x")), -9999);
    ExpectRaises<ESerialException>(-163, 0);  // beyond the runtime's range
    EXPECT_EQ(SerialErrorText(-2001), "ie_BadId - Specified comport doesn't exist");
}

class TickTest : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetSerialClock(&clock_); }
    void TearDown() override { SetSerialClock(previous_); }
    void At(int64_t ms) { clock_.SetUs(ms * 1000); }
    ManualClock clock_;
    const Clock* previous_ = nullptr;
};

TEST_F(TickTest, TimerExpiresOnTheQuantisedTick) {
    At(0);
    EventTimer t;
    NewTimer(t, 2);
    At(164);
    EXPECT_FALSE(TimerExpired(t));
    At(165);
    EXPECT_TRUE(TimerExpired(t));
    // Armed late in a tick, the same interval ends on the same boundary.
    At(54);
    NewTimer(t, 2);
    At(164);
    EXPECT_FALSE(TimerExpired(t));
    At(165);
    EXPECT_TRUE(TimerExpired(t));

    // 90 ticks armed 10 ms into tick 18: between 4951 and 5005 ms.
    At(1000);
    NewTimer(t, 90);
    EXPECT_EQ(RemainingTime(t), 90);
    At(1000 + 4949);
    EXPECT_FALSE(TimerExpired(t));
    At(1000 + 5005);
    EXPECT_TRUE(TimerExpired(t));
    EXPECT_EQ(RemainingTime(t), 0);
    EXPECT_EQ(ElapsedTime(t), 91);
}

TEST_F(TickTest, NoWrapAfterTwoToTheThirtyTwoMs) {
    // Armed just before the 32-bit millisecond count would wrap.
    At((int64_t(1) << 32) - 100);
    EventTimer t;
    NewTimer(t, 4);
    At((int64_t(1) << 32) + 50);
    EXPECT_FALSE(TimerExpired(t));
    At((int64_t(1) << 32) + 400);
    EXPECT_TRUE(TimerExpired(t));
}

TEST_F(TickTest, ClampAndConversions) {
    At(0);
    EventTimer t;
    NewTimer(t, int64_t(1) << 40);
    EXPECT_EQ(t.ExpireTicks - t.StartTicks, kMaxTimerTicks);
    EXPECT_EQ(Secs2Ticks(1), 18);
    EXPECT_EQ(Secs2Ticks(10), 182);
    EXPECT_EQ(MSecs2Ticks(5000), 91);
    EXPECT_EQ(Ticks2Secs(18), 1);
    EXPECT_EQ(Ticks2Secs(0), 0);
}

TDataTrigger Trigger(const char* s, bool ignoreCase) {
    TDataTrigger t;
    t.Length = uint32_t(std::strlen(s));
    t.IgnoreCase = ignoreCase;
    for (uint32_t i = 0; i < t.Length; ++i) t.Chars[i] = ignoreCase ? char(UpCaseByte(uint8_t(s[i]))) : s[i];
    return t;
}

int CountMatches(TDataTrigger& t, const std::string& input) {
    int n = 0;
    for (char c : input) n += MatchDataTrigger(t, uint8_t(c));
    return n;
}

// Occurrences of a fresh trigger in one input.
int CountMatches(const char* trigger, bool ignoreCase, const std::string& input) {
    TDataTrigger t = Trigger(trigger, ignoreCase);
    return CountMatches(t, input);
}

TEST(DataTriggerMatch, OccurrencesAcrossCallsAndOverlaps) {
    EXPECT_EQ(CountMatches(":", true, ":01:02::"), 4);
    auto ab = Trigger("ab", true);
    EXPECT_EQ(CountMatches(ab, "xA"), 0);  // split across two reads
    EXPECT_EQ(CountMatches(ab, "Bab"), 2);
    EXPECT_EQ(CountMatches("ab", false, "AB ab aB"), 1);
    // An occurrence that starts inside a partial match is found.
    EXPECT_EQ(CountMatches("AAB", false, "AAAB"), 1);
    EXPECT_EQ(CountMatches("AA", false, "AAA"), 2);
    EXPECT_EQ(CountMatches("ABAB", false, "ABABAB"), 2);
    EXPECT_EQ(CountMatches("", false, "anything"), 0);
}

TEST(LineMapping, SettingsOfTheLinkAndTheirReverse) {
    termios tio{};
    TLineDCB dcb;
    dcb.Baud = 9600;
    dcb.ByteSize = 7;
    dcb.Parity = 2;
    dcb.StopBits = 0;
    ASSERT_EQ(DcbToTermios(dcb, tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_TRUE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_TRUE(tio.c_cflag & CREAD);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_FALSE(tio.c_iflag & (ICRNL | ISTRIP | IXON | INPCK));
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&tio), speed_t(B9600));

    for (uint8_t parity = 0; parity <= 4; ++parity)
        for (uint8_t size = 5; size <= 8; ++size)
            for (uint8_t stop : {uint8_t(0), uint8_t(2)})
                for (uint32_t baud : {300u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
                    TLineDCB in;
                    in.Baud = baud;
                    in.ByteSize = size;
                    in.Parity = parity;
                    in.StopBits = stop;
                    termios t{};
                    ASSERT_EQ(DcbToTermios(in, t), 0);
                    TLineDCB out;
                    TermiosToDcb(t, out);
                    EXPECT_EQ(out.Baud, baud);
                    EXPECT_EQ(out.ByteSize, size);
                    EXPECT_EQ(out.Parity, parity);
                    // Two stop bits with five data bits are one and a half.
                    EXPECT_EQ(out.StopBits, stop == 0 ? 0 : (size == 5 ? 1 : 2));
                }
}

TEST(LineMapping, RefusesWhatTheDriverCannotDo) {
    termios tio{};
    TLineDCB dcb;
    dcb.Baud = 12345;
    EXPECT_EQ(DcbToTermios(dcb, tio), ecBaudRate);
    dcb.Baud = 9600;
    dcb.ByteSize = 9;
    EXPECT_EQ(DcbToTermios(dcb, tio), ecByteSize);
    dcb.ByteSize = 8;
    dcb.DtrControl = 2;
    EXPECT_EQ(DcbToTermios(dcb, tio), ecBadArgument);
    dcb.DtrControl = 1;
    dcb.RtsControl = 2;
    ASSERT_EQ(DcbToTermios(dcb, tio), 0);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
}

TEST(LineMapping, CharacterTimeMargin) {
    TLineDCB e71;
    e71.ByteSize = 7;
    e71.Parity = 2;
    // 18 character times of 10 bits at 9600 baud, rounded up.
    EXPECT_EQ(TBaseDispatcher::TxMarginMs(9600, e71), 19u);
    EXPECT_EQ(TBaseDispatcher::TxMarginMs(115200, e71), 2u);
    // Fast lines: 36 character times when 18 would be under 1 ms.
    EXPECT_EQ(TBaseDispatcher::TxMarginMs(230400, e71), 2u);
    EXPECT_EQ(TBaseDispatcher::TxMarginMs(921600, e71), 1u);
    TLineDCB n82;
    n82.ByteSize = 8;
    n82.StopBits = 2;
    EXPECT_EQ(TBaseDispatcher::TxMarginMs(1200, n82), 165u);
}

// A close waits for what is queued as long as the bytes need on the line,
// rounded up to ms, plus 500 ms.
TEST(LineMapping, CloseWaitsTheLineTimeOfWhatIsQueued) {
    TLineDCB e71;
    e71.ByteSize = 7;
    e71.Parity = 2;
    // A full output ring of 4096 characters of 10 bits at 9600 baud: 4266.7 ms.
    EXPECT_EQ(TBaseDispatcher::DrainBoundMs(4096, 9600, e71), 4767u);
    // One reply of 75 characters: 78.1 ms.
    EXPECT_EQ(TBaseDispatcher::DrainBoundMs(75, 9600, e71), 579u);
    EXPECT_EQ(TBaseDispatcher::DrainBoundMs(0, 9600, e71), 500u);
    // 11 bits a character with two stop bits: 32 of them at 115200 take 3.06 ms.
    TLineDCB n82;
    n82.StopBits = 2;
    EXPECT_EQ(TBaseDispatcher::DrainBoundMs(32, 115200, n82), 504u);
}

}  // namespace
