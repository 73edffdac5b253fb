#pragma once
// Time base of the serial triggers (ticks of 55 ms), trigger records and the
// saved trigger set that the port keeps while it is closed.
#include <cstdint>
#include <optional>
#include <vector>

namespace qel {

class Clock;

// The clock the tick timers read. Tests install a ManualClock; nullptr puts
// the process's steady clock back. Returns the previous clock.
const Clock* SetSerialClock(const Clock* clock);

constexpr int64_t kTickMs = 55;
// Ticks in 2^31 ms: the longest interval a timer accepts.
constexpr int64_t kMaxTimerTicks = 39045157;

// Milliseconds of the serial clock, cut to 32 bits as callers expect.
uint32_t AdTimeGetTime();
// Milliseconds of the serial clock, full width.
int64_t SerialNowMs();
// Current tick, 64 bits wide so it never wraps.
int64_t CurrentTick();

struct EventTimer {
    int64_t StartTicks = 0;
    int64_t ExpireTicks = 0;
};

void NewTimer(EventTimer& et, int64_t ticks);
void NewTimerSecs(EventTimer& et, int64_t secs);
bool TimerExpired(const EventTimer& et);
int64_t ElapsedTime(const EventTimer& et);
int64_t ElapsedTimeInSecs(const EventTimer& et);
int64_t RemainingTime(const EventTimer& et);
int64_t RemainingTimeInSecs(const EventTimer& et);
int64_t Secs2Ticks(int64_t secs);
int64_t MSecs2Ticks(int64_t ms);
int64_t Ticks2Secs(int64_t ticks);

enum TTriggerType : uint8_t { ttNone = 0, ttAvail = 1, ttTimer = 2, ttData = 3, ttStatus = 4 };

constexpr uint32_t kMaxTrigData = 21;

struct TTimerTrigger {
    uint32_t Handle = 0;
    EventTimer Timer;
    int32_t Ticks = 0;
    uint32_t Valid = 0xFFFFFFFFu;
    bool Active = false;
    // Bumped by every arming, so a time-out found just before a re-arm is dropped.
    uint64_t Generation = 0;
};

struct TDataTrigger {
    uint32_t Handle = 0;
    uint32_t Length = 0;
    uint32_t MatchState[kMaxTrigData + 1] = {};
    bool Matched = false;
    bool IgnoreCase = false;
    char Chars[24] = {};
};

struct TStatusTrigger {
    uint32_t Handle = 0;
    uint32_t Kind = 0;
    uint16_t Value = 0;
    bool Enabled = false;
    bool Notified = false;
};

// Triggers saved at a closing, restored at the next opening.
struct TTriggerSave {
    uint32_t AvailLength = 0;
    std::optional<std::vector<TTimerTrigger>> Timers;
    std::optional<std::vector<TDataTrigger>> Datas;
    std::optional<std::vector<TStatusTrigger>> Statuses;
};

// Offers one received character to a data trigger; true when it completes an
// occurrence of the trigger's string. Progress is kept in MatchState[0] (the
// length of the longest prefix of the string that ends the input so far), so
// occurrences split across reads and overlapping occurrences are found.
bool MatchDataTrigger(TDataTrigger& t, uint8_t c);

// ASCII upper-casing, the same for stored strings and received characters.
inline uint8_t UpCaseByte(uint8_t c) { return (c >= 'a' && c <= 'z') ? uint8_t(c - 32) : c; }

}  // namespace qel
