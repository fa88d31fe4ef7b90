#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "SerialPort.h"

namespace gf::edl {

// The host side of Sahara image upload: answers the device's HELLO, serves its
// read-data requests (32- and 64-bit) from the mapped files, ends with DONE.
// Every failure is printed as one "ERROR: ..." line.
class SaharaHost {
public:
    SaharaHost(SerialPort& port, std::map<uint32_t, std::string> images, int timeoutMs);
    // True once the device reports the transfer complete (or a programmer is
    // already running on it).
    bool Run();

private:
    enum class Got { Packet, Xml, Timeout, Failed };
    Got ReadPacket(int timeoutMs);
    bool Fill(std::size_t count, int timeoutMs, std::string& error);
    bool SendHelloResp();
    bool ServeRead(uint64_t id, uint64_t offset, uint64_t length);
    bool Fail(const std::string& text);
    void SendReset();

    SerialPort& m_port;
    std::map<uint32_t, std::string> m_images;
    std::map<uint32_t, uint64_t> m_sent;  // bytes served per image id
    int m_timeoutMs;
    std::vector<uint8_t> m_in;  // received, not yet consumed bytes
    std::vector<uint8_t> m_packet;
    std::string m_readError;
};

}  // namespace gf::edl
