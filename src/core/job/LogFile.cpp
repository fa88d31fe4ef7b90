#include "job/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace gf {

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

bool LogFile::Append(const char* data, std::size_t length, std::string& error) {
    while (length > 0) {
        ssize_t n = ::write(m_fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

void LogFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace gf
