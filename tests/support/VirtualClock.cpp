#include "VirtualClock.h"

#include <numeric>

#include "platform/StopSignal.h"

namespace gf::test {

VirtualClock::VirtualClock() { SetLocalTime(2024, 5, 17, 9, 30, 5); }

void VirtualClock::SetLocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::lock_guard lock(m_mutex);
    m_base = std::mktime(&tm) - std::chrono::duration_cast<std::chrono::seconds>(m_offset).count();
}

std::tm VirtualClock::LocalTime() {
    std::lock_guard lock(m_mutex);
    std::time_t t = m_base + std::chrono::duration_cast<std::chrono::seconds>(m_offset).count();
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::chrono::steady_clock::time_point VirtualClock::Now() {
    std::lock_guard lock(m_mutex);
    return std::chrono::steady_clock::time_point(m_offset);
}

bool VirtualClock::Sleep(unsigned ms, StopSignal* stop) {
    if (stop != nullptr && stop->IsRequested()) return false;
    std::lock_guard lock(m_mutex);
    m_sleeps.push_back(ms);
    m_offset += std::chrono::milliseconds(ms);
    return true;
}

void VirtualClock::Advance(std::chrono::milliseconds d) {
    std::lock_guard lock(m_mutex);
    m_offset += d;
}

std::vector<unsigned> VirtualClock::Sleeps() const {
    std::lock_guard lock(m_mutex);
    return m_sleeps;
}

unsigned VirtualClock::TotalSleptMs() const {
    std::lock_guard lock(m_mutex);
    return std::accumulate(m_sleeps.begin(), m_sleeps.end(), 0u);
}

void VirtualClock::ClearSleeps() {
    std::lock_guard lock(m_mutex);
    m_sleeps.clear();
}

}  // namespace gf::test
