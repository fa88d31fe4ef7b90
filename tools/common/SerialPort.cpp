#include "SerialPort.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace gf::edl {

namespace {

std::string Errno(const char* what) {
    return std::string(what) + ": " + ::strerror(errno);
}

}  // namespace

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(const std::string& path, std::string& error) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Errno(("cannot open port '" + path + "'").c_str());
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        error = Errno(("'" + path + "' is not a serial port").c_str());
        ::close(fd);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetspeed(&tio, B115200);  // irrelevant on USB, required by real UARTs
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = Errno(("cannot set raw mode on '" + path + "'").c_str());
        ::close(fd);
        return false;
    }
    ::tcflush(fd, TCIFLUSH);
    m_fd = fd;
    return true;
}

void SerialPort::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

long SerialPort::Read(void* buffer, std::size_t size, int timeoutMs, std::string& error) {
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            error = Errno("poll on port failed");
            return -1;
        }
        if (r == 0) return 0;
        ssize_t n = ::read(m_fd, buffer, size);
        if (n > 0) return n;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        error = n == 0 || errno == EIO ? std::string("device disconnected")
                                       : Errno("read from port failed");
        return -1;
    }
}

bool SerialPort::Write(const void* data, std::size_t size, int timeoutMs, std::string& error) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(m_fd, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            error =
                errno == EIO ? std::string("device disconnected") : Errno("write to port failed");
            return false;
        }
        pollfd w{m_fd, POLLOUT, 0};
        int r = ::poll(&w, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            error = Errno("poll on port failed");
            return false;
        }
        if (r == 0) {
            error =
                "device accepts no data (write timeout after " + std::to_string(timeoutMs) + " ms)";
            return false;
        }
        if ((w.revents & (POLLHUP | POLLERR)) && !(w.revents & POLLOUT)) {
            error = "device disconnected";
            return false;
        }
    }
    return true;
}

}  // namespace gf::edl
