#include "SaharaTarget.h"

#include <algorithm>
#include <chrono>

#include "Crc32.h"
#include "ProgrammerImage.h"
#include "SaharaDefs.h"

namespace gf::sim {

namespace sh = gf::edl::sahara;
using gf::edl::GetU32;
using gf::edl::PutU32;
using gf::edl::PutU64;

namespace {
constexpr uint64_t kBodyRequest = 64 * 1024;  // bytes per READ_DATA_64 request
}

SaharaTarget::SaharaTarget(PtyLink& link, std::function<void(const std::string&)> log)
    : m_link(link), m_log(std::move(log)) {}

void SaharaTarget::Log(const std::string& text) {
    if (m_log) m_log("sahara: " + text);
}

std::vector<uint8_t> SaharaTarget::ReadPacket() {
    uint8_t header[8];
    m_link.ReadExact(header, sizeof header);
    const uint32_t length = GetU32(header + 4);
    if (length < 8 || length > sh::kMaxPacket) {
        m_link.Buffer().clear();
        return {};
    }
    std::vector<uint8_t> packet(length);
    std::copy(header, header + 8, packet.begin());
    m_link.ReadExact(packet.data() + 8, length - 8);
    return packet;
}

void SaharaTarget::SendReadData32(uint32_t offset, uint32_t length) {
    uint8_t p[sh::kReadDataLength] = {};
    PutU32(p, sh::kReadData);
    PutU32(p + 4, sh::kReadDataLength);
    PutU32(p + 8, sh::kProgrammerImageId);
    PutU32(p + 12, offset);
    PutU32(p + 16, length);
    m_link.Write(p, sizeof p);
}

void SaharaTarget::SendReadData64(uint64_t offset, uint64_t length) {
    uint8_t p[sh::kReadData64Length] = {};
    PutU32(p, sh::kReadData64);
    PutU32(p + 4, sh::kReadData64Length);
    PutU64(p + 8, sh::kProgrammerImageId);
    PutU64(p + 16, offset);
    PutU64(p + 24, length);
    m_link.Write(p, sizeof p);
}

bool SaharaTarget::Refuse(uint32_t status, const std::string& why) {
    Log("image refused: " + why);
    uint8_t p[sh::kEndOfImageLength] = {};
    PutU32(p, sh::kEndOfImage);
    PutU32(p + 4, sh::kEndOfImageLength);
    PutU32(p + 8, sh::kProgrammerImageId);
    PutU32(p + 12, status);
    m_link.Write(p, sizeof p);
    // A host answers a failed transfer with RESET.
    std::vector<uint8_t> reply = ReadPacket();
    if (reply.size() >= 8 && GetU32(reply.data()) == sh::kReset) {
        uint8_t r[sh::kResetLength] = {};
        PutU32(r, sh::kResetResp);
        PutU32(r + 4, sh::kResetLength);
        m_link.Write(r, sizeof r);
    }
    return false;
}

void SaharaTarget::AwaitRestart(int ms) {
    std::string& buffer = m_link.Buffer();
    buffer.clear();
    uint8_t helloResp[8];
    PutU32(helloResp, sh::kHelloResp);
    PutU32(helloResp + 4, sh::kHelloLength);
    const std::string prefix(reinterpret_cast<const char*>(helloResp), sizeof helloResp);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (!m_link.WaitInput(20)) continue;
        m_link.Fill();
        const std::size_t n = std::min(buffer.size(), prefix.size());
        if (buffer.compare(0, n, prefix, 0, n) != 0)
            buffer.clear();
        else if (n == prefix.size())
            return;
    }
}

bool SaharaTarget::Run() {
    uint8_t hello[sh::kHelloLength] = {};
    PutU32(hello, sh::kHello);
    PutU32(hello + 4, sh::kHelloLength);
    PutU32(hello + 8, 2);   // version
    PutU32(hello + 12, 1);  // oldest compatible version
    PutU32(hello + 16, sh::kMaxPacket);
    PutU32(hello + 20, sh::kModeImageTxPending);
    m_link.Write(hello, sizeof hello);
    Log("HELLO sent");

    std::vector<uint8_t> packet = ReadPacket();
    if (packet.size() < 8) return Refuse(sh::kStatusProtocolMismatch, "bad packet length");
    const uint32_t command = GetU32(packet.data());
    if (command == sh::kReset) {
        uint8_t r[sh::kResetLength] = {};
        PutU32(r, sh::kResetResp);
        PutU32(r + 4, sh::kResetLength);
        m_link.Write(r, sizeof r);
        return false;
    }
    if (command != sh::kHelloResp || packet.size() < sh::kHelloLength)
        return Refuse(sh::kStatusInvalidCommand, "expected HELLO_RESP");
    if (GetU32(packet.data() + 16) != 0) return Refuse(sh::kStatusInvalidCommand, "host error");
    if (GetU32(packet.data() + 20) != sh::kModeImageTxPending)
        return Refuse(sh::kStatusInvalidMode, "unsupported mode");

    uint8_t header[ProgrammerImage::kHeaderSize];
    SendReadData32(0, sizeof header);
    // A host that sent an unsolicited HELLO_RESP before our HELLO reached it
    // answers the HELLO again; skip such duplicates ahead of the image data.
    for (;;) {
        m_link.ReadExact(header, 8);
        if (GetU32(header) != sh::kHelloResp || GetU32(header + 4) != sh::kHelloLength) break;
        uint8_t rest[sh::kHelloLength - 8];
        m_link.ReadExact(rest, sizeof rest);
    }
    m_link.ReadExact(header + 8, sizeof header - 8);
    uint64_t bodySize = 0;
    uint32_t bodyCrc = 0;
    std::string reason;
    if (!ProgrammerImage::ParseHeader(header, bodySize, bodyCrc, reason))
        return Refuse(sh::kStatusAuthFailed, reason);

    std::vector<uint8_t> chunk(kBodyRequest);
    uint32_t crc = 0;
    for (uint64_t offset = 0; offset < bodySize;) {
        const uint64_t n = std::min(kBodyRequest, bodySize - offset);
        SendReadData64(ProgrammerImage::kHeaderSize + offset, n);
        m_link.ReadExact(chunk.data(), static_cast<std::size_t>(n));
        crc = gf::edl::Crc32(chunk.data(), static_cast<std::size_t>(n), crc);
        offset += n;
    }
    if (crc != bodyCrc) return Refuse(sh::kStatusHashVerifyFailed, "programmer body CRC mismatch");

    uint8_t end[sh::kEndOfImageLength] = {};
    PutU32(end, sh::kEndOfImage);
    PutU32(end + 4, sh::kEndOfImageLength);
    PutU32(end + 8, sh::kProgrammerImageId);
    PutU32(end + 12, sh::kStatusSuccess);
    m_link.Write(end, sizeof end);

    packet = ReadPacket();
    if (packet.size() < 8 || GetU32(packet.data()) != sh::kDone) {
        Log("expected DONE");
        return false;
    }
    uint8_t done[sh::kDoneRespLength] = {};
    PutU32(done, sh::kDoneResp);
    PutU32(done + 4, sh::kDoneRespLength);
    PutU32(done + 8, 1);  // image transfer complete
    m_link.Write(done, sizeof done);
    Log("programmer accepted, Firehose starts");
    return true;
}

}  // namespace gf::sim
