#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "EdlDevice.h"
#include "EdlStorage.h"
#include "PtyLink.h"
#include "StorageWriter.h"

namespace pugi {
class xml_node;
}

namespace gf::sim {

// The programmer's side of Firehose: one XML command per document, answered by
// <log> documents and one <response>. Supports configure (payload-size
// negotiation), getstorageinfo, program (raw data phase into the storage),
// patch (with NUM_DISK_SECTORS and CRC32 expressions), erase,
// setbootablestoragedrive, power and nop; anything else is refused with NAK.
class FirehoseTarget {
public:
    enum class Result { Reset, Vanished, Stalled };
    static constexpr uint64_t kMaxPayload = 1 << 20;

    FirehoseTarget(PtyLink& link, EdlStorage& storage, const EdlKnobs& knobs,
                   std::function<void(const std::string&)> log);
    ~FirehoseTarget();
    // Serves commands until a power reset or a fault knob ends the appearance.
    // Throws LinkEvent when the host leaves or a stop is requested; the
    // negotiated state persists for the next host.
    Result Serve();

private:
    std::string NextDocument();
    void SendLog(const std::string& text);
    void SendResponse(bool ack, const std::string& extraAttributes = "");
    void Nak(const std::string& error);
    void Log(const std::string& text);

    void Configure(const pugi::xml_node& cmd);
    void StorageInfo(const pugi::xml_node& cmd);
    bool Program(const pugi::xml_node& cmd, Result& fault);
    void Patch(const pugi::xml_node& cmd);
    void Erase(const pugi::xml_node& cmd);
    void SetBootable(const pugi::xml_node& cmd);
    // Reads the partition, sector size and a sector expression of a command;
    // NAKs and returns false when one is bad.
    bool Partition(const pugi::xml_node& cmd, int& partition);
    bool Evaluate(const std::string& what, const std::string& text, int partition, uint64_t& value);

    PtyLink& m_link;
    EdlStorage& m_storage;
    const EdlKnobs& m_knobs;
    std::function<void(const std::string&)> m_log;
    bool m_configured = false;
    bool m_faultFired = false;
    uint64_t m_payload = kMaxPayload;
    int m_bootDrive = 0;
    std::unique_ptr<StorageWriter> m_writer;  // made on the first <program>
};

}  // namespace gf::sim
