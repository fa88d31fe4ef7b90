#pragma once

#include <cstddef>
#include <string>

namespace gf::edl {

// A serial port (USB serial node or pseudo-terminal) in raw mode: no echo, no
// line editing, no CR/LF mapping, no flow control. Every read and write waits
// at most a given time, so a silent or stuck device never hangs the caller.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `path`, switches it to raw mode and discards stale input.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // Reads what is available, waiting up to `timeoutMs` for the first byte.
    // Returns the count, 0 on timeout, -1 when the device went away or the
    // read failed (`error` says which).
    long Read(void* buffer, std::size_t size, int timeoutMs, std::string& error);
    // Writes all bytes; fails when the device accepts nothing for `timeoutMs`
    // or goes away.
    bool Write(const void* data, std::size_t size, int timeoutMs, std::string& error);

private:
    int m_fd = -1;
};

}  // namespace gf::edl
