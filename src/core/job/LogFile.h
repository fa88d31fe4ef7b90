#pragma once

#include <cstddef>
#include <string>

namespace gf {

// The slot's log file (m_fileLog): opened for appending, created when missing,
// never truncated. "Closed" while it holds no descriptor.
class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    bool Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    // Appends all bytes at the end of the file; on failure returns false and
    // sets `error` to the system's message.
    bool Append(const char* data, std::size_t length, std::string& error);
    void Close();

private:
    int m_fd = -1;
};

}  // namespace gf
