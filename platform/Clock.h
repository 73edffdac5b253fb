#pragma once
// A monotonic clock that tests can replace. Time-outs, the simulator's time
// base and the serial timers read it instead of the system clock directly.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace qel {

class Clock {
public:
    virtual ~Clock() = default;
    // Microseconds since an arbitrary fixed origin; never goes backwards.
    virtual std::int64_t NowUs() const = 0;
    std::int64_t NowMs() const { return NowUs() / 1000; }
};

class SteadyClock final : public Clock {
public:
    std::int64_t NowUs() const override;
};

// A clock that only moves when told to; safe to read from any thread.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::int64_t startUs = 0) : now_(startUs) {}
    std::int64_t NowUs() const override { return now_.load(); }
    void AdvanceUs(std::int64_t us) { now_.fetch_add(us); }
    void AdvanceMs(std::int64_t ms) { now_.fetch_add(ms * 1000); }
    void SetUs(std::int64_t us) { now_.store(us); }

private:
    std::atomic<std::int64_t> now_;
};

// The process-wide steady clock.
Clock& SystemClock();

}  // namespace qel
