#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace gf {

InstanceLock::InstanceLock(std::string directory) : m_directory(std::move(directory)) {}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string InstanceLock::DefaultDirectory() {
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && *run != '\0') {
        return run;
    }
    return "/tmp/gangflash-" + std::to_string(::getuid());
}

bool InstanceLock::Acquire(const std::string& markerName) {
    ::mkdir(m_directory.c_str(), 0700);
    const std::string path = m_directory + "/" + markerName + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Like a failed CreateSemaphore for another reason: start normally.
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
    return true;
}

}  // namespace gf
