#include "XmlEscape.h"
#include "FirehoseTarget.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <pugixml.hpp>
#include <vector>

#include "SectorExpr.h"
#include "StorageWriter.h"

namespace gf::sim {

namespace {

constexpr std::size_t kMaxXmlBytes = 4096;
constexpr const char* kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<data>\n";


}  // namespace

FirehoseTarget::FirehoseTarget(PtyLink& link, EdlStorage& storage, const EdlKnobs& knobs,
                               std::function<void(const std::string&)> log)
    : m_link(link), m_storage(storage), m_knobs(knobs), m_log(std::move(log)) {}

FirehoseTarget::~FirehoseTarget() = default;

void FirehoseTarget::Log(const std::string& text) {
    if (m_log) m_log("firehose: " + text);
}

void FirehoseTarget::SendLog(const std::string& text) {
    m_link.Write(std::string(kXmlHead) + "<log value=\"" + XmlEscape(text) + "\" />\n</data>");
}

void FirehoseTarget::SendResponse(bool ack, const std::string& extraAttributes) {
    m_link.Write(std::string(kXmlHead) + "<response value=\"" + (ack ? "ACK" : "NAK") + "\"" +
                 (extraAttributes.empty() ? "" : " " + extraAttributes) + " />\n</data>");
}

void FirehoseTarget::Nak(const std::string& error) {
    Log("NAK: " + error);
    SendLog("ERROR: " + error);
    SendResponse(false, "rawmode=\"false\"");
}

std::string FirehoseTarget::NextDocument() {
    std::string& buffer = m_link.Buffer();
    for (;;) {
        std::size_t start = buffer.find_first_not_of(std::string(" \t\r\n\0", 5));
        buffer.erase(0, start == std::string::npos ? buffer.size() : start);
        if (!buffer.empty() && buffer[0] != '<') {
            buffer.clear();
            Nak("Expected an XML command, received binary data");
            continue;
        }
        std::size_t end = buffer.find("</data>");
        if (end != std::string::npos) {
            std::string doc = buffer.substr(0, end + 7);
            buffer.erase(0, end + 7);
            return doc;
        }
        if (buffer.size() > kMaxXmlBytes) {
            buffer.clear();
            Nak("XML command longer than MaxXMLSizeInBytes (" + std::to_string(kMaxXmlBytes) + ")");
            continue;
        }
        m_link.Fill();
    }
}

FirehoseTarget::Result FirehoseTarget::Serve() {
    for (;;) {
        std::string text = NextDocument();
        pugi::xml_document doc;
        if (!doc.load_string(text.c_str())) {
            Nak("Malformed XML command");
            continue;
        }
        pugi::xml_node cmd = doc.child("data").find_child(
            [](const pugi::xml_node& n) { return n.type() == pugi::node_element; });
        if (!cmd) {
            Nak("XML command without a <data> element holding a command");
            continue;
        }
        const std::string name = cmd.name();
        Log("<" + name + ">");
        if (!m_knobs.nakCommand.empty() && name == m_knobs.nakCommand) {
            Nak("Command <" + name + "> failed on the target");
            continue;
        }
        if (name == "nop") {
            SendLog("INFO: Gangflash simulated programmer, storage eMMC");
            SendResponse(true);
        } else if (name == "configure") {
            Configure(cmd);
        } else if (!m_configured && (name == "program" || name == "patch" || name == "erase" ||
                                     name == "getstorageinfo")) {
            Nak("Send <configure> first");
        } else if (name == "getstorageinfo") {
            StorageInfo(cmd);
        } else if (name == "program") {
            Result fault;
            if (!Program(cmd, fault)) return fault;
        } else if (name == "patch") {
            Patch(cmd);
        } else if (name == "erase") {
            Erase(cmd);
        } else if (name == "setbootablestoragedrive") {
            SetBootable(cmd);
        } else if (name == "power") {
            std::string value = cmd.attribute("value").as_string();
            if (value != "reset" && value != "reset_to_edl" && value != "off") {
                Nak("Unknown power value '" + value + "'");
                continue;
            }
            SendLog("INFO: Power " + value + " requested, device leaves now");
            SendResponse(true);
            // Give the host a moment to read the answer before the port goes away.
            m_link.WaitForHostToLeave(300);
            return Result::Reset;
        } else {
            Nak("Unsupported command <" + name + ">");
        }
    }
}

void FirehoseTarget::Configure(const pugi::xml_node& cmd) {
    std::string memory = cmd.attribute("MemoryName").as_string("eMMC");
    if (strcasecmp(memory.c_str(), "emmc") != 0) {
        Nak("Memory type '" + memory + "' is not supported, this target has eMMC");
        return;
    }
    uint64_t wanted = cmd.attribute("MaxPayloadSizeToTargetInBytes").as_ullong(kMaxPayload);
    if (wanted < EdlStorage::kSectorSize || wanted % EdlStorage::kSectorSize != 0) {
        SendLog("ERROR: MaxPayloadSizeToTargetInBytes must be a positive multiple of 512");
        SendResponse(false, "MaxPayloadSizeToTargetInBytes=\"" + std::to_string(kMaxPayload) +
                                "\" MaxPayloadSizeToTargetInBytesSupported=\"" +
                                std::to_string(kMaxPayload) + "\"");
        return;
    }
    m_payload = std::min<uint64_t>(wanted, kMaxPayload);
    m_configured = true;
    SendLog("INFO: Calling handler for configure");
    SendResponse(true,
                 "MinVersionSupported=\"1\" MemoryName=\"eMMC\" "
                 "MaxPayloadSizeFromTargetInBytes=\"4096\" MaxPayloadSizeToTargetInBytes=\"" +
                     std::to_string(m_payload) + "\" MaxPayloadSizeToTargetInBytesSupported=\"" +
                     std::to_string(kMaxPayload) +
                     "\" MaxXMLSizeInBytes=\"4096\" Version=\"1\" TargetName=\"GFSIM\"");
}

bool FirehoseTarget::Partition(const pugi::xml_node& cmd, int& partition) {
    uint64_t sector = cmd.attribute("SECTOR_SIZE_IN_BYTES").as_ullong(EdlStorage::kSectorSize);
    if (sector != EdlStorage::kSectorSize) {
        Nak("SECTOR_SIZE_IN_BYTES must be 512 on eMMC, got " + std::to_string(sector));
        return false;
    }
    std::string text = cmd.attribute("physical_partition_number").as_string("0");
    char* end = nullptr;
    unsigned long long p = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || !m_storage.HasPartition(p)) {
        Nak("Physical partition '" + text + "' does not exist");
        return false;
    }
    partition = static_cast<int>(p);
    return true;
}

bool FirehoseTarget::Evaluate(const std::string& what, const std::string& text, int partition,
                              uint64_t& value) {
    gf::edl::SectorExprContext context;
    context.hasDiskSectors = true;
    context.numDiskSectors = m_storage.Sectors(partition);
    context.crc32 = [&](uint64_t sector, uint64_t bytes, uint32_t& crc, std::string& error) {
        if (sector > UINT64_MAX / EdlStorage::kSectorSize) {
            error = "CRC32 sector out of range";
            return false;
        }
        return m_storage.Crc32(partition, sector * EdlStorage::kSectorSize, bytes, crc, error);
    };
    std::string error;
    if (text.empty()) error = "missing";
    if (error.empty() && gf::edl::EvaluateSectorExpr(text, context, value, error)) return true;
    Nak("Bad " + what + " '" + text + "': " + error);
    return false;
}

void FirehoseTarget::StorageInfo(const pugi::xml_node& cmd) {
    int partition = 0;
    if (!Partition(cmd, partition)) return;
    SendLog("INFO: {\"storage_info\": {\"total_blocks\":" +
            std::to_string(m_storage.Sectors(partition)) +
            ", \"block_size\":512, \"page_size\":512, \"num_physical\":" +
            std::to_string(EdlStorage::kPartitions) +
            ", \"mem_type\":\"eMMC\", \"prod_name\":\"GFSIM\"}}");
    SendLog("INFO: total_blocks=" + std::to_string(m_storage.Sectors(partition)));
    SendResponse(true);
}

bool FirehoseTarget::Program(const pugi::xml_node& cmd, Result& fault) {
    int partition = 0;
    uint64_t start = 0, count = 0;
    if (!Partition(cmd, partition) ||
        !Evaluate("num_partition_sectors", cmd.attribute("num_partition_sectors").as_string(),
                  partition, count) ||
        !Evaluate("start_sector", cmd.attribute("start_sector").as_string(), partition, start))
        return true;
    const uint64_t sectors = m_storage.Sectors(partition);
    if (count == 0 || start > sectors || count > sectors - start) {
        Nak("Program of " + std::to_string(count) + " sectors at sector " + std::to_string(start) +
            " does not fit physical partition " + std::to_string(partition) + " (" +
            std::to_string(sectors) + " sectors)");
        return true;
    }
    SendResponse(true, "rawmode=\"true\"");

    const uint64_t total = count * EdlStorage::kSectorSize;
    const uint64_t base = start * EdlStorage::kSectorSize;
    uint64_t chunkLimit = m_payload;
    if (m_knobs.bytesPerSecond > 0)
        chunkLimit = std::clamp<uint64_t>(static_cast<uint64_t>(m_knobs.bytesPerSecond / 50),
                                          EdlStorage::kSectorSize, m_payload);
    std::string writeError;
    if (!m_writer || m_writer->BufferSize() < chunkLimit)
        m_writer = std::make_unique<StorageWriter>(m_storage, static_cast<std::size_t>(chunkLimit));
    else
        m_writer->Finish(writeError);  // settles a program that the host abandoned
    const auto began = std::chrono::steady_clock::now();
    uint64_t received = 0;
    for (;;) {
        uint64_t want = std::min(total - received, chunkLimit);
        // The fault knobs fire at their percentage of this command's data.
        if (!m_faultFired) {
            for (auto [pct, result] : {std::pair{m_knobs.stallAtPercent, Result::Stalled},
                                       std::pair{m_knobs.vanishAtPercent, Result::Vanished}}) {
                if (pct < 0) continue;
                const uint64_t threshold = total * static_cast<uint64_t>(std::min(pct, 100)) / 100;
                if (received >= threshold) {
                    m_faultFired = true;
                    Log(result == Result::Stalled ? "stalls" : "vanishes");
                    fault = result;
                    return false;
                }
                want = std::min(want, threshold - received);
            }
        }
        if (received == total) break;
        // Gather a whole chunk, then hand it to the storage thread and go on
        // reading the port while it is stored.
        const int buffer = m_writer->Acquire();
        uint8_t* data = m_writer->Data(buffer);
        std::size_t n = 0;
        try {
            while (n < want) n += m_link.ReadInto(data + n, static_cast<std::size_t>(want) - n);
        } catch (const LinkEvent&) {
            m_writer->Release(buffer);
            throw;
        }
        m_writer->Submit(buffer, partition, base + received, n);
        received += n;
        if (m_knobs.bytesPerSecond > 0) {
            const double due = static_cast<double>(received) / m_knobs.bytesPerSecond;
            const double spent =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            if (due > spent) m_link.Pause(static_cast<int>(std::ceil((due - spent) * 1000)));
        }
    }
    if (!m_writer->Finish(writeError)) {
        Nak("Write failed: " + writeError);
        return true;
    }
    Log("programmed " + std::to_string(count) + " sectors at " + std::to_string(start) +
        " of partition " + std::to_string(partition));
    SendResponse(true, "rawmode=\"false\"");
    return true;
}

void FirehoseTarget::Patch(const pugi::xml_node& cmd) {
    int partition = 0;
    uint64_t start = 0, byteOffset = 0, size = 0, value = 0;
    if (!Partition(cmd, partition)) return;
    std::string filename = cmd.attribute("filename").as_string();
    if (filename != "DISK") {
        Nak("Patch target '" + filename + "' is not DISK");
        return;
    }
    if (!Evaluate("start_sector", cmd.attribute("start_sector").as_string(), partition, start) ||
        !Evaluate("byte_offset", cmd.attribute("byte_offset").as_string(), partition, byteOffset) ||
        !Evaluate("size_in_bytes", cmd.attribute("size_in_bytes").as_string(), partition, size) ||
        !Evaluate("value", cmd.attribute("value").as_string(), partition, value))
        return;
    if (size == 0 || size > 8 || (size < 8 && value >> (8 * size) != 0)) {
        Nak("Patch value " + std::to_string(value) + " does not fit " + std::to_string(size) +
            " bytes");
        return;
    }
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    std::string error;
    if (start > m_storage.Sectors(partition) ||
        !m_storage.Write(partition, start * EdlStorage::kSectorSize + byteOffset, bytes,
                         static_cast<std::size_t>(size), error)) {
        Nak("Patch failed: " + (error.empty() ? "start sector out of range" : error));
        return;
    }
    SendResponse(true);
}

void FirehoseTarget::Erase(const pugi::xml_node& cmd) {
    int partition = 0;
    if (!Partition(cmd, partition)) return;
    uint64_t start = 0, count = m_storage.Sectors(partition);
    if (cmd.attribute("start_sector") || cmd.attribute("num_partition_sectors")) {
        if (!Evaluate("start_sector", cmd.attribute("start_sector").as_string("0"), partition,
                      start) ||
            !Evaluate("num_partition_sectors", cmd.attribute("num_partition_sectors").as_string(),
                      partition, count))
            return;
    }
    std::string error;
    if (start > m_storage.Sectors(partition) ||
        !m_storage.Zero(partition, start * EdlStorage::kSectorSize, count * EdlStorage::kSectorSize,
                        error)) {
        Nak("Erase failed: " + (error.empty() ? "start sector out of range" : error));
        return;
    }
    SendResponse(true);
}

void FirehoseTarget::SetBootable(const pugi::xml_node& cmd) {
    std::string text = cmd.attribute("value").as_string();
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || !m_storage.HasPartition(v)) {
        Nak("Cannot boot from physical partition '" + text + "'");
        return;
    }
    m_bootDrive = static_cast<int>(v);
    SendLog("INFO: Boot drive set to " + text);
    SendResponse(true);
}

}  // namespace gf::sim
