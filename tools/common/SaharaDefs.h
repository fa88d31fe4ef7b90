#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace gf::edl {

// Sahara packet ids and sizes (little-endian u32 fields; `length` counts the
// whole packet including the 8-byte header).
namespace sahara {
constexpr uint32_t kHello = 0x01;
constexpr uint32_t kHelloResp = 0x02;
constexpr uint32_t kReadData = 0x03;
constexpr uint32_t kEndOfImage = 0x04;
constexpr uint32_t kDone = 0x05;
constexpr uint32_t kDoneResp = 0x06;
constexpr uint32_t kReset = 0x07;
constexpr uint32_t kResetResp = 0x08;
constexpr uint32_t kReadData64 = 0x12;

constexpr uint32_t kHelloLength = 0x30;
constexpr uint32_t kReadDataLength = 0x14;
constexpr uint32_t kEndOfImageLength = 0x10;
constexpr uint32_t kDoneLength = 0x08;
constexpr uint32_t kDoneRespLength = 0x0C;
constexpr uint32_t kResetLength = 0x08;
constexpr uint32_t kReadData64Length = 0x20;
constexpr uint32_t kMaxPacket = 0x1000;

constexpr uint32_t kModeImageTxPending = 0;
constexpr uint32_t kProgrammerImageId = 13;

// Status codes of END_OF_IMAGE_TRANSFER.
constexpr uint32_t kStatusSuccess = 0x00;
constexpr uint32_t kStatusInvalidCommand = 0x01;
constexpr uint32_t kStatusProtocolMismatch = 0x02;
constexpr uint32_t kStatusUnexpectedImageId = 0x06;
constexpr uint32_t kStatusInvalidImageType = 0x09;
constexpr uint32_t kStatusInvalidMode = 0x18;
constexpr uint32_t kStatusHashVerifyFailed = 0x22;
constexpr uint32_t kStatusAuthFailed = 0x25;

// A short description of an END_OF_IMAGE status for error messages.
inline std::string StatusText(uint32_t status) {
    switch (status) {
        case 0x00:
            return "success";
        case 0x01:
            return "invalid command for current state";
        case 0x02:
            return "protocol mismatch";
        case 0x05:
            return "invalid packet size";
        case 0x06:
            return "unexpected image id";
        case 0x09:
            return "invalid image type";
        case 0x16:
            return "timeout receiving data";
        case 0x18:
            return "invalid mode";
        case 0x22:
            return "image verification failed";
        case 0x25:
            return "image authentication failed";
        default:
            return "status 0x" + [status] {
                char b[16];
                std::snprintf(b, sizeof b, "%02X", status);
                return std::string(b);
            }();
    }
}
}  // namespace sahara

inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t GetU64(const uint8_t* p) {
    return GetU32(p) | uint64_t(GetU32(p + 4)) << 32;
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace gf::edl
