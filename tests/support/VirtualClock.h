#pragma once

#include <mutex>
#include <vector>

#include "platform/Clock.h"

namespace gf::test {

// A clock that never waits: Sleep advances virtual time at once and records
// the requested duration, so tests can check every wait of a procedure.
class VirtualClock : public IClock {
public:
    // Local time starts at 2024-05-17 09:30:05.
    VirtualClock();
    std::tm LocalTime() override;
    std::chrono::steady_clock::time_point Now() override;
    bool Sleep(unsigned ms, StopSignal* stop = nullptr) override;

    void Advance(std::chrono::milliseconds d);
    void SetLocalTime(int year, int month, int day, int hour, int minute, int second);
    std::vector<unsigned> Sleeps() const;
    unsigned TotalSleptMs() const;
    void ClearSleeps();

private:
    mutable std::mutex m_mutex;
    std::time_t m_base = 0;                  // local calendar time at offset 0
    std::chrono::milliseconds m_offset{0};   // virtual time elapsed
    std::vector<unsigned> m_sleeps;
};

}  // namespace gf::test
