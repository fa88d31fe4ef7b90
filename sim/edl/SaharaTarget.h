#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "PtyLink.h"

namespace gf::sim {

// The boot ROM's side of Sahara: HELLO, the programmer image (id 13) read as a
// header with a 32-bit READ_DATA and a body with 64-bit READ_DATA_64 requests,
// END_OF_IMAGE_TRANSFER, DONE. Refuses images that are not ours.
class SaharaTarget {
public:
    SaharaTarget(PtyLink& link, std::function<void(const std::string&)> log);
    // One session from HELLO on; true when the programmer was accepted and DONE
    // answered. Throws LinkEvent when the host leaves or a stop is requested.
    bool Run();
    // After a failed session: drops the old host's leftovers until it closes
    // the port or `ms` passes, but keeps a HELLO_RESP from a new host that
    // did not wait for our HELLO. Throws LinkEvent.
    void AwaitRestart(int ms);

private:
    std::vector<uint8_t> ReadPacket();
    void SendReadData32(uint32_t offset, uint32_t length);
    void SendReadData64(uint64_t offset, uint64_t length);
    bool Refuse(uint32_t status, const std::string& why);
    void Log(const std::string& text);

    PtyLink& m_link;
    std::function<void(const std::string&)> m_log;
};

}  // namespace gf::sim
