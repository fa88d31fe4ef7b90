#pragma once

#include "platform/Clock.h"

namespace gf {

class RealClock : public IClock {
public:
    std::tm LocalTime() override;
    std::chrono::steady_clock::time_point Now() override;
    bool Sleep(unsigned ms, StopSignal* stop = nullptr) override;
};

}  // namespace gf
