#include "RealClock.h"

#include <thread>

#include "platform/StopSignal.h"

namespace gf {

std::tm RealClock::LocalTime() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::chrono::steady_clock::time_point RealClock::Now() { return std::chrono::steady_clock::now(); }

bool RealClock::Sleep(unsigned ms, StopSignal* stop) {
    if (stop == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    return !stop->WaitFor(std::chrono::milliseconds(ms));
}

}  // namespace gf
