// Times of day and the clock: TCMP, TZCP, TADD, TSUB, TRD and TWR. A time is
// three words in a row: hours (0-23), minutes and seconds (0-59); a time
// outside those ranges is an operation error and changes nothing else.
#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

constexpr std::int64_t kDay = 24 * 3600;
// The clock words D1018-D1024.
constexpr int kClockFirst = 1018;
constexpr int kClockWords = 7;

bool GoodTime(std::int64_t h, std::int64_t m, std::int64_t sec) {
    return h >= 0 && h < 24 && m >= 0 && m < 60 && sec >= 0 && sec < 60;
}

// The time held in three elements from operand i, in seconds.
bool ReadTime(E& e, const S& s, int i, std::int64_t& seconds) {
    if (Room(e, s, i) < 3) return false;
    const std::int64_t h = e.ReadOperand(s, i, 0), m = e.ReadOperand(s, i, 1), sec = e.ReadOperand(s, i, 2);
    if (!GoodTime(h, m, sec)) return false;
    seconds = h * 3600 + m * 60 + sec;
    return true;
}

bool Checked(E& e, bool good) {
    SetFlag(e, kFlagOperationError, !good);
    return good;
}

// TCMP S1 S2 S3 S D: the time S1:S2:S3 against the time at S, as CMP does:
// D = earlier, D+1 = the same, D+2 = later.
void Tcmp(E& e, const S& s) {
    const std::int64_t h = e.ReadOperand(s, 0), m = e.ReadOperand(s, 1), sec = e.ReadOperand(s, 2);
    std::int64_t other;
    if (!Checked(e, GoodTime(h, m, sec) && ReadTime(e, s, 3, other))) return;
    const std::int64_t t = h * 3600 + m * 60 + sec;
    WriteThreeBits(e, s, 4, t < other, t == other, t > other);
}

// TZCP S1 S2 S D: the time at S against the zone from S1 to S2, as ZCP does.
void Tzcp(E& e, const S& s) {
    std::int64_t low, high, t;
    if (!Checked(e, ReadTime(e, s, 0, low) && ReadTime(e, s, 1, high) && ReadTime(e, s, 2, t))) return;
    WriteThreeBits(e, s, 3, t < low, t >= low && t <= high, t > high);
}

void WriteTime(E& e, const S& s, int i, std::int64_t seconds) {
    if (Room(e, s, i) < 3) return;
    e.WriteOperand(s, i, seconds / 3600, 0);
    e.WriteOperand(s, i, seconds / 60 % 60, 1);
    e.WriteOperand(s, i, seconds % 60, 2);
}

// TADD S1 S2 D: the sum of two times, carried at 60 seconds, 60 minutes and
// 24 hours; M1022 when it passes midnight, M1020 when it is 0:00:00.
void Tadd(E& e, const S& s) {
    std::int64_t a, b;
    if (!Checked(e, ReadTime(e, s, 0, a) && ReadTime(e, s, 1, b))) return;
    const std::int64_t t = a + b;
    WriteTime(e, s, 2, t % kDay);
    SetFlag(e, kFlagCarry, t >= kDay);
    SetFlag(e, kFlagZero, t % kDay == 0);
}

// TSUB S1 S2 D: the difference, borrowed from the day before; M1021 when it
// goes back past midnight, M1020 when it is 0:00:00.
void Tsub(E& e, const S& s) {
    std::int64_t a, b;
    if (!Checked(e, ReadTime(e, s, 0, a) && ReadTime(e, s, 1, b))) return;
    const std::int64_t t = a - b;
    WriteTime(e, s, 2, t < 0 ? t + kDay : t);
    SetFlag(e, kFlagBorrow, t < 0);
    SetFlag(e, kFlagZero, t == 0);
}

// TRD D reads the clock words D1018-D1024 into D .. D+6; TWR D sets them.
void Trd(E& e, const S& s) {
    if (Room(e, s, 0) < kClockWords) return;
    for (int k = 0; k < kClockWords; ++k) e.WriteOperand(s, 0, e.Memory().D[kClockFirst + k], k);
}

void Twr(E& e, const S& s) {
    if (Room(e, s, 0) < kClockWords) return;
    for (int k = 0; k < kClockWords; ++k)
        e.Memory().D[kClockFirst + k] = static_cast<std::uint16_t>(e.ReadOperand(s, 0, k));
}

constexpr TSimBodyRow kRows[] = {
    {inst::TCMP, Tcmp}, {inst::TZCP, Tzcp}, {inst::TADD, Tadd},
    {inst::TSUB, Tsub}, {inst::TRD, Trd},   {inst::TWR, Twr},
};

}  // namespace

std::span<const TSimBodyRow> SimTimeBodies() { return kRows; }
