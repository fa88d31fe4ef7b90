#pragma once

#include <string>

#include "platform/UserStore.h"

namespace gf {

// The single-instance marker as an flock on "<runtime dir>/<marker>.lock", where
// the runtime dir is $XDG_RUNTIME_DIR (per logon) or /tmp/gangflash-<uid>. The
// lock lives as long as this object (normally the process); the system drops
// it when the process ends, however it ends.
class InstanceLock : public IInstanceLock {
public:
    explicit InstanceLock(std::string directory = DefaultDirectory());
    ~InstanceLock() override;
    bool Acquire(const std::string& markerName) override;
    static std::string DefaultDirectory();

private:
    std::string m_directory;
    int m_fd = -1;
};

}  // namespace gf
