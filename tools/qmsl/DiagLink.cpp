#include "DiagLink.h"

#include <chrono>

namespace gf::qmsl {

namespace {

bool IsErrorReply(uint8_t code) {
    switch (code) {
        case 0x13:
        case 0x14:
        case 0x15:
        case 0x16:
        case 0x18:
        case 0x42:
        case 0x47:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool DiagLink::Open(const std::string& path, std::string& error) {
    m_decoder.Reset();
    m_pending.clear();
    return m_port.Open(path, error);
}

DiagLink::Result DiagLink::Request(const std::vector<uint8_t>& request,
                                   std::vector<uint8_t>& response, int timeoutMs) {
    std::string error;
    // Answers to earlier requests that timed out are stale now.
    m_pending.clear();
    uint8_t drain[512];
    while (m_port.Read(drain, sizeof drain, 0, error) > 0) {
    }
    m_decoder.Reset();

    const std::vector<uint8_t> frame = gf::diag::EncodeFrame(request);
    if (!m_port.Write(frame.data(), frame.size(), timeoutMs, error)) return Result::Gone;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buf[1024];
    for (;;) {
        for (auto& payload : m_pending) {
            if (payload[0] == request[0]) {
                response = std::move(payload);
                m_pending.clear();
                return Result::Ok;
            }
            // An error reply carries the rejected request after its code.
            if (IsErrorReply(payload[0]) && payload.size() >= 2 && payload[1] == request[0]) {
                response = std::move(payload);
                m_pending.clear();
                return Result::ErrorReply;
            }
        }
        m_pending.clear();
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Result::Timeout;
        long n = m_port.Read(buf, sizeof buf, static_cast<int>(left), error);
        if (n < 0) return Result::Gone;
        if (n > 0) m_decoder.Feed(buf, static_cast<std::size_t>(n), m_pending);
    }
}

}  // namespace gf::qmsl
