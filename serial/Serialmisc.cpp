#include "serial/Serialmisc.h"

#include <atomic>
#include <cstring>

#include "platform/Clock.h"

namespace qel {

namespace {
std::atomic<const Clock*> gSerialClock{nullptr};

int64_t NowMs() {
    const Clock* c = gSerialClock.load();
    return c ? c->NowMs() : SystemClock().NowMs();
}
}  // namespace

const Clock* SetSerialClock(const Clock* clock) { return gSerialClock.exchange(clock); }

uint32_t AdTimeGetTime() { return static_cast<uint32_t>(NowMs()); }

int64_t SerialNowMs() { return NowMs(); }

int64_t CurrentTick() { return NowMs() / kTickMs; }

void NewTimer(EventTimer& et, int64_t ticks) {
    if (ticks > kMaxTimerTicks) ticks = kMaxTimerTicks;
    if (ticks < 0) ticks = 0;
    et.StartTicks = CurrentTick();
    et.ExpireTicks = et.StartTicks + ticks;
}

void NewTimerSecs(EventTimer& et, int64_t secs) { NewTimer(et, Secs2Ticks(secs)); }

// A timer of n ticks expires once more than n whole ticks have passed since
// its start tick. With 64-bit ticks there is no wrap to account for.
bool TimerExpired(const EventTimer& et) { return CurrentTick() > et.ExpireTicks; }

int64_t ElapsedTime(const EventTimer& et) { return CurrentTick() - et.StartTicks; }
int64_t ElapsedTimeInSecs(const EventTimer& et) { return Ticks2Secs(ElapsedTime(et)); }

int64_t RemainingTime(const EventTimer& et) {
    int64_t r = et.ExpireTicks - CurrentTick();
    return r < 0 ? 0 : r;
}
int64_t RemainingTimeInSecs(const EventTimer& et) { return Ticks2Secs(RemainingTime(et)); }

int64_t Secs2Ticks(int64_t secs) { return secs * 1675 / 92; }
int64_t MSecs2Ticks(int64_t ms) { return ms * 1675 / 92000; }
int64_t Ticks2Secs(int64_t ticks) { return (ticks + 9) * 92 / 1675; }

bool MatchDataTrigger(TDataTrigger& t, uint8_t c) {
    const uint32_t n = t.Length;
    if (n == 0 || n > kMaxTrigData) return false;
    if (t.IgnoreCase) c = UpCaseByte(c);
    const auto* s = reinterpret_cast<const uint8_t*>(t.Chars);
    uint32_t k = t.MatchState[0];
    if (k >= n) k = 0;
    // Longest prefix of s that is a suffix of s[0..k) + c. Strings are at most
    // 21 characters, so trying each candidate length directly is cheap.
    uint32_t next = 0;
    for (uint32_t len = k + 1; len > 0; --len) {
        if (s[len - 1] != c) continue;
        // s[0..len-1) must equal the last len-1 characters of s[0..k).
        if (std::memcmp(s, s + (k - (len - 1)), len - 1) == 0) {
            next = len;
            break;
        }
    }
    if (next == n) {
        t.MatchState[0] = 0;
        // Keep the overlap so that "AA" in "AAA" is found twice.
        for (uint32_t len = n - 1; len > 0; --len) {
            if (std::memcmp(s, s + (n - len), len) == 0) {
                t.MatchState[0] = len;
                break;
            }
        }
        return true;
    }
    t.MatchState[0] = next;
    return false;
}

}  // namespace qel
