#pragma once

#include <chrono>
#include <ctime>

namespace gf {

class StopSignal;

// Time as the station sees it. Every wait of the station goes through Sleep, so
// tests run the waits on a virtual clock and a stopped job wakes at once.
class IClock {
public:
    virtual ~IClock() = default;
    // Current local calendar time.
    virtual std::tm LocalTime() = 0;
    // Monotonic time for measuring intervals.
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // Sleeps `ms` milliseconds unless `stop` is requested first; returns false
    // when the sleep was cut short by the stop request.
    virtual bool Sleep(unsigned ms, StopSignal* stop = nullptr) = 0;
};

}  // namespace gf
