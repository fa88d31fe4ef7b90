#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SerialPort.h"
#include "diag/DiagFrame.h"

namespace gf::qmsl {

// Request and response over one device's DIAG port. Not thread-safe: the
// connection that owns it serialises the calls.
class DiagLink {
public:
    enum class Result { Ok, ErrorReply, Timeout, Gone };

    bool Open(const std::string& path, std::string& error);
    void Close() { m_port.Close(); }

    // Sends `request` and waits up to `timeoutMs` for the reply that echoes its
    // command code (Ok) or a DIAG error reply (ErrorReply, code in response[0]).
    // Unsolicited traffic (logs, messages, events) is skipped.
    Result Request(const std::vector<uint8_t>& request, std::vector<uint8_t>& response,
                   int timeoutMs);

private:
    gf::edl::SerialPort m_port;
    gf::diag::FrameDecoder m_decoder;
    std::vector<std::vector<uint8_t>> m_pending;
};

}  // namespace gf::qmsl
