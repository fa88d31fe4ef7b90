#pragma once

// DIAG serial framing, shared by the diag library and the simulated device:
// payload + CRC-16/X-25 (low byte first), 0x7E/0x7D escaped, 0x7E terminated.
// Header-only so that the shared library can use it without the core library.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gf::diag {

inline constexpr std::uint8_t kFlag = 0x7E;
inline constexpr std::uint8_t kEscape = 0x7D;

// Command codes the station uses.
inline constexpr std::uint8_t kCmdVersion = 0x00;
inline constexpr std::uint8_t kCmdStatus = 0x0C;
inline constexpr std::uint8_t kCmdBadCommand = 0x13;
inline constexpr std::uint8_t kCmdBadParameter = 0x14;
inline constexpr std::uint8_t kCmdBadLength = 0x15;
inline constexpr std::uint8_t kCmdNvRead = 0x26;
inline constexpr std::uint8_t kCmdNvWrite = 0x27;
inline constexpr std::uint8_t kCmdControl = 0x29;
inline constexpr std::uint8_t kCmdDload = 0x3A;
inline constexpr std::uint8_t kCmdSpc = 0x41;
inline constexpr std::uint8_t kCmdBadSpcMode = 0x42;
inline constexpr std::uint8_t kCmdSubsys = 0x4B;
inline constexpr std::uint8_t kSubsysSystemOps = 0x65;

// NV item request/response: code, item u16, data[128], status u16.
inline constexpr std::size_t kNvDataSize = 128;
inline constexpr std::size_t kNvPacketSize = 1 + 2 + kNvDataSize + 2;
inline constexpr std::uint16_t kNvDone = 0;
inline constexpr std::uint16_t kNvInactive = 5;
inline constexpr std::uint16_t kNvBadParameter = 6;

inline std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return static_cast<std::uint16_t>(~crc);
}

// One framed packet for `payload`.
inline std::vector<std::uint8_t> EncodeFrame(const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> raw = payload;
    const std::uint16_t crc = Crc16(payload.data(), payload.size());
    raw.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    raw.push_back(static_cast<std::uint8_t>(crc >> 8));
    std::vector<std::uint8_t> out;
    out.reserve(raw.size() + 8);
    for (std::uint8_t b : raw) {
        if (b == kFlag || b == kEscape) {
            out.push_back(kEscape);
            out.push_back(static_cast<std::uint8_t>(b ^ 0x20));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kFlag);
    return out;
}

// Collects received bytes and gives back whole payloads whose CRC is right.
// Empty frames are skipped; frames that are too short or fail the CRC are
// dropped and counted.
class FrameDecoder {
public:
    // Feeds bytes; complete good payloads are appended to `out`.
    void Feed(const std::uint8_t* data, std::size_t size,
              std::vector<std::vector<std::uint8_t>>& out) {
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint8_t b = data[i];
            if (b == kFlag) {
                Finish(out);
                continue;
            }
            if (m_escaped) {
                m_frame.push_back(static_cast<std::uint8_t>(b ^ 0x20));
                m_escaped = false;
            } else if (b == kEscape) {
                m_escaped = true;
            } else {
                m_frame.push_back(b);
            }
            // A frame longer than any DIAG packet is noise.
            if (m_frame.size() > kMaxFrame) {
                m_frame.clear();
                ++m_dropped;
            }
        }
    }
    void Reset() {
        m_frame.clear();
        m_escaped = false;
    }
    std::size_t Dropped() const { return m_dropped; }

private:
    static constexpr std::size_t kMaxFrame = 4096;

    void Finish(std::vector<std::vector<std::uint8_t>>& out) {
        const bool escapedAtEnd = m_escaped;
        m_escaped = false;
        if (m_frame.empty()) return;
        if (escapedAtEnd || m_frame.size() < 3) {
            ++m_dropped;
            m_frame.clear();
            return;
        }
        const std::size_t n = m_frame.size() - 2;
        const std::uint16_t got = static_cast<std::uint16_t>(
            m_frame[n] | (static_cast<std::uint16_t>(m_frame[n + 1]) << 8));
        if (Crc16(m_frame.data(), n) != got) {
            ++m_dropped;
        } else {
            out.emplace_back(m_frame.begin(), m_frame.begin() + static_cast<std::ptrdiff_t>(n));
        }
        m_frame.clear();
    }

    std::vector<std::uint8_t> m_frame;
    bool m_escaped = false;
    std::size_t m_dropped = 0;
};

}  // namespace gf::diag
