#include "platform/Clock.h"

namespace qel {

std::int64_t SteadyClock::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace qel
