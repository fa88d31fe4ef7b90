#include "SaharaHost.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "SaharaDefs.h"
#include "ToolOutput.h"

namespace gf::edl {

namespace {

// Largest single read request served; larger ones point at a confused device.
constexpr uint64_t kMaxReadRequest = 64ull << 20;

}  // namespace

SaharaHost::SaharaHost(SerialPort& port, std::map<uint32_t, std::string> images, int timeoutMs)
    : m_port(port), m_images(std::move(images)), m_timeoutMs(timeoutMs) {}

bool SaharaHost::Fail(const std::string& text) {
    OutLine("ERROR: " + text);
    return false;
}

bool SaharaHost::Fill(std::size_t count, int timeoutMs, std::string& error) {
    uint8_t buffer[4096];
    while (m_in.size() < count) {
        long n = m_port.Read(buffer, sizeof buffer, timeoutMs, error);
        if (n == 0) {
            error.clear();
            return false;
        }
        if (n < 0) return false;
        m_in.insert(m_in.end(), buffer, buffer + n);
    }
    return true;
}

SaharaHost::Got SaharaHost::ReadPacket(int timeoutMs) {
    m_readError.clear();
    if (!Fill(1, timeoutMs, m_readError)) return m_readError.empty() ? Got::Timeout : Got::Failed;
    if (m_in[0] == '<') return Got::Xml;  // a Firehose programmer answers in XML
    if (!Fill(8, m_timeoutMs, m_readError)) {
        if (m_readError.empty()) m_readError = "incomplete Sahara packet header";
        return Got::Failed;
    }
    uint32_t length = GetU32(m_in.data() + 4);
    if (length < 8 || length > sahara::kMaxPacket) {
        m_readError = "invalid Sahara packet length " + std::to_string(length);
        return Got::Failed;
    }
    if (!Fill(length, m_timeoutMs, m_readError)) {
        if (m_readError.empty()) m_readError = "incomplete Sahara packet";
        return Got::Failed;
    }
    m_packet.assign(m_in.begin(), m_in.begin() + length);
    m_in.erase(m_in.begin(), m_in.begin() + length);
    return Got::Packet;
}

bool SaharaHost::SendHelloResp() {
    uint8_t p[sahara::kHelloLength] = {};
    PutU32(p, sahara::kHelloResp);
    PutU32(p + 4, sahara::kHelloLength);
    PutU32(p + 8, 2);   // our protocol version
    PutU32(p + 12, 1);  // oldest version we speak
    PutU32(p + 16, 0);  // status: success
    PutU32(p + 20, sahara::kModeImageTxPending);
    std::string error;
    if (!m_port.Write(p, sizeof p, m_timeoutMs, error)) return Fail("Sahara HELLO_RESP: " + error);
    return true;
}

void SaharaHost::SendReset() {
    uint8_t p[sahara::kResetLength] = {};
    PutU32(p, sahara::kReset);
    PutU32(p + 4, sahara::kResetLength);
    std::string error;
    if (m_port.Write(p, sizeof p, m_timeoutMs, error)) ReadPacket(m_timeoutMs);  // RESET_RESP
}

bool SaharaHost::ServeRead(uint64_t id, uint64_t offset, uint64_t length) {
    auto it = id <= UINT32_MAX ? m_images.find(static_cast<uint32_t>(id)) : m_images.end();
    if (it == m_images.end()) {
        SendReset();
        return Fail("Device requested image ID " + std::to_string(id) +
                    " but no file is mapped to it");
    }
    if (m_sent.find(it->first) == m_sent.end())
        OutLine("Requested ID " + std::to_string(id) + ", file: \"" + it->second + "\"");
    int fd = ::open(it->second.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("Cannot open file \"" + it->second + "\"");
    struct stat st {};
    ::fstat(fd, &st);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (offset > size || length > size - offset || length > kMaxReadRequest) {
        ::close(fd);
        SendReset();
        return Fail("Device requested " + std::to_string(length) + " bytes at offset " +
                    std::to_string(offset) + " of image ID " + std::to_string(id) + " (file has " +
                    std::to_string(size) + " bytes): the image is not one this device accepts");
    }
    std::vector<uint8_t> data(static_cast<std::size_t>(length));
    ssize_t got = length ? ::pread(fd, data.data(), data.size(), static_cast<off_t>(offset)) : 0;
    ::close(fd);
    if (got != static_cast<ssize_t>(length)) return Fail("Cannot read \"" + it->second + "\"");
    std::string error;
    if (!m_port.Write(data.data(), data.size(), m_timeoutMs, error))
        return Fail("Sending image data failed: " + error);
    m_sent[it->first] += length;
    return true;
}

bool SaharaHost::Run() {
    const auto started = std::chrono::steady_clock::now();
    // The device sends HELLO once when the port comes up; if another opener
    // consumed it, an unsolicited HELLO_RESP gets the device going again.
    Got got = ReadPacket(std::min(1000, m_timeoutMs));
    if (got == Got::Timeout) {
        if (!SendHelloResp()) return false;
        got = ReadPacket(m_timeoutMs);
    }
    for (;; got = ReadPacket(m_timeoutMs)) {
        if (got == Got::Timeout)
            return Fail("Sahara protocol timeout: no answer from the device within " +
                        std::to_string(m_timeoutMs) + " ms");
        if (got == Got::Failed) return Fail("Sahara protocol error: " + m_readError);
        if (got == Got::Xml) {
            OutLine("A Firehose programmer is already running on the device");
            OutLine("Sahara protocol completed");
            return true;
        }
        const uint8_t* p = m_packet.data();
        const uint32_t command = GetU32(p);
        const std::size_t length = m_packet.size();
        switch (command) {
            case sahara::kHello:
                if (length < sahara::kHelloLength) return Fail("Sahara HELLO too short");
                if (!SendHelloResp()) return false;
                break;
            case sahara::kReadData:
                if (length < sahara::kReadDataLength) return Fail("Sahara READ_DATA too short");
                if (!ServeRead(GetU32(p + 8), GetU32(p + 12), GetU32(p + 16))) return false;
                break;
            case sahara::kReadData64:
                if (length < sahara::kReadData64Length)
                    return Fail("Sahara READ_DATA_64 too short");
                if (!ServeRead(GetU64(p + 8), GetU64(p + 16), GetU64(p + 24))) return false;
                break;
            case sahara::kEndOfImage: {
                if (length < sahara::kEndOfImageLength)
                    return Fail("Sahara END_OF_IMAGE too short");
                const uint32_t id = GetU32(p + 8), status = GetU32(p + 12);
                if (status != sahara::kStatusSuccess) {
                    SendReset();
                    return Fail("Device refused image ID " + std::to_string(id) + ": " +
                                sahara::StatusText(status) + " (Sahara status " +
                                std::to_string(status) + ")");
                }
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                        .count();
                char line[128];
                std::snprintf(line, sizeof line, "%llu bytes transferred in %.3f seconds",
                              static_cast<unsigned long long>(m_sent[id]), seconds);
                OutLine(line);
                OutLine("File transferred successfully");
                uint8_t done[sahara::kDoneLength] = {};
                PutU32(done, sahara::kDone);
                PutU32(done + 4, sahara::kDoneLength);
                std::string error;
                if (!m_port.Write(done, sizeof done, m_timeoutMs, error))
                    return Fail("Sahara DONE: " + error);
                break;
            }
            case sahara::kDoneResp: {
                if (length < sahara::kDoneRespLength) return Fail("Sahara DONE_RESP too short");
                // Some boot ROMs answer "pending" although the programmer was the
                // only image needed; every mapped image sent counts as complete.
                bool allSent = std::all_of(m_images.begin(), m_images.end(),
                                           [&](const auto& e) { return m_sent.count(e.first); });
                if (GetU32(p + 8) == 1 || allSent) {
                    OutLine("Sahara protocol completed");
                    return true;
                }
                break;
            }
            case sahara::kResetResp:
                return Fail("Device reset the Sahara session");
            default:
                SendReset();
                return Fail("Unexpected Sahara command 0x" + [command] {
                    char b[16];
                    std::snprintf(b, sizeof b, "%02X", command);
                    return std::string(b);
                }());
        }
    }
}

}  // namespace gf::edl
