#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/StopSignal.h"

namespace gf::sim {

// Raised inside the device thread when the host closed the port or a stop was
// requested; caught by the device's main loop, never leaves it.
struct LinkEvent {
    enum Kind { Disconnected, Stopped } kind;
};

// The device's end of a pseudo-terminal. The host opens and closes the slave
// side at will; a closed slave shows as POLLHUP on the master. Blocking calls
// wake within a short slice to honour the stop signal.
class PtyLink {
public:
    PtyLink(int masterFd, gf::StopSignal& stop);

    // Blocks until the host has the port open. Throws LinkEvent::Stopped.
    void WaitForHost();
    // Reads and discards input until the host closes the port or `ms` passes.
    void WaitForHostToLeave(int ms);
    // True when input is waiting within `ms`; throws LinkEvent when the host
    // closed the port or a stop is requested.
    bool WaitInput(int ms);
    // Sleeps `ms` unless stopped (throws LinkEvent::Stopped).
    void Pause(int ms);

    // Input received but not yet consumed by the protocol.
    std::string& Buffer() { return m_buffer; }
    // Appends at least one byte to Buffer(). Throws LinkEvent.
    void Fill();
    // Moves up to `size` bytes into `out`, buffered bytes first, else one read
    // from the port. Throws LinkEvent.
    std::size_t ReadInto(uint8_t* out, std::size_t size);
    void ReadExact(uint8_t* out, std::size_t size);
    // Writes all bytes. Throws LinkEvent.
    void Write(const void* data, std::size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }

    gf::StopSignal& Stop() { return m_stop; }

private:
    enum class Poll { Data, Idle, Hangup };
    Poll WaitReadable(int ms);
    std::size_t ReadFd(uint8_t* out, std::size_t size);

    int m_fd;
    gf::StopSignal& m_stop;
    std::string m_buffer;
};

}  // namespace gf::sim
