#include "PtyLink.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace gf::sim {

namespace {
constexpr int kSliceMs = 20;
}

PtyLink::PtyLink(int masterFd, gf::StopSignal& stop) : m_fd(masterFd), m_stop(stop) {
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    // Raw line settings belong to the pair and survive the host's reopenings,
    // so bytes that arrive before the host sets raw mode are not echoed.
    termios tio{};
    if (::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    // A slave that was never opened looks the same as an open one; opening and
    // closing it once puts the master into the hang-up state until the host
    // opens it (if the host already has it open, nothing changes).
    if (const char* name = ::ptsname(m_fd)) {
        int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (s >= 0) ::close(s);
    }
}

PtyLink::Poll PtyLink::WaitReadable(int ms) {
    pollfd p{m_fd, POLLIN, 0};
    int r = ::poll(&p, 1, ms);
    if (r <= 0) return Poll::Idle;
    if (p.revents & POLLIN) return Poll::Data;
    if (p.revents & (POLLHUP | POLLERR)) return Poll::Hangup;
    return Poll::Idle;
}

void PtyLink::WaitForHost() {
    for (;;) {
        if (m_stop.IsRequested()) throw LinkEvent{LinkEvent::Stopped};
        pollfd p{m_fd, POLLIN, 0};
        int r = ::poll(&p, 1, 0);
        if (r == 0 || (p.revents & POLLIN)) return;
        if (m_stop.WaitFor(std::chrono::milliseconds(kSliceMs)))
            throw LinkEvent{LinkEvent::Stopped};
    }
}

void PtyLink::WaitForHostToLeave(int ms) {
    m_buffer.clear();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    uint8_t sink[4096];
    while (std::chrono::steady_clock::now() < until) {
        if (m_stop.IsRequested()) throw LinkEvent{LinkEvent::Stopped};
        Poll p = WaitReadable(kSliceMs);
        if (p == Poll::Hangup) return;
        if (p == Poll::Data) {
            ssize_t n = ::read(m_fd, sink, sizeof sink);
            if (n <= 0 && errno != EAGAIN) return;
        }
    }
}

bool PtyLink::WaitInput(int ms) {
    if (m_stop.IsRequested()) throw LinkEvent{LinkEvent::Stopped};
    switch (WaitReadable(ms)) {
        case Poll::Data:
            return true;
        case Poll::Hangup:
            throw LinkEvent{LinkEvent::Disconnected};
        case Poll::Idle:
            break;
    }
    return false;
}

void PtyLink::Pause(int ms) {
    if (m_stop.WaitFor(std::chrono::milliseconds(ms))) throw LinkEvent{LinkEvent::Stopped};
}

std::size_t PtyLink::ReadFd(uint8_t* out, std::size_t size) {
    for (;;) {
        if (m_stop.IsRequested()) throw LinkEvent{LinkEvent::Stopped};
        ssize_t n = ::read(m_fd, out, size);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) throw LinkEvent{LinkEvent::Disconnected};  // EIO: closed
        if (WaitReadable(kSliceMs) == Poll::Hangup) throw LinkEvent{LinkEvent::Disconnected};
    }
}

void PtyLink::Fill() {
    uint8_t chunk[65536];
    std::size_t n = ReadFd(chunk, sizeof chunk);
    m_buffer.append(reinterpret_cast<const char*>(chunk), n);
}

std::size_t PtyLink::ReadInto(uint8_t* out, std::size_t size) {
    if (size == 0) return 0;
    if (!m_buffer.empty()) {
        std::size_t n = std::min(size, m_buffer.size());
        std::copy(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(n), out);
        m_buffer.erase(0, n);
        return n;
    }
    return ReadFd(out, size);
}

void PtyLink::ReadExact(uint8_t* out, std::size_t size) {
    while (size > 0) {
        std::size_t n = ReadInto(out, size);
        out += n;
        size -= n;
    }
}

void PtyLink::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (m_stop.IsRequested()) throw LinkEvent{LinkEvent::Stopped};
        ssize_t n = ::write(m_fd, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) throw LinkEvent{LinkEvent::Disconnected};
        pollfd w{m_fd, POLLOUT, 0};
        ::poll(&w, 1, kSliceMs);
        if ((w.revents & POLLHUP) && !(w.revents & POLLOUT))
            throw LinkEvent{LinkEvent::Disconnected};
    }
}

}  // namespace gf::sim
