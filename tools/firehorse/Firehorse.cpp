#include "XmlEscape.h"
#include "Firehorse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pugixml.hpp>

#include "SaharaDefs.h"
#include "SectorExpr.h"
#include "SparseImage.h"
#include "ToolOutput.h"

namespace gf::edl {

namespace {

constexpr uint64_t kMaxPayload = 16u << 20;


std::string Element(const std::string& name, const std::map<std::string, std::string>& attrs) {
    std::string out = "<" + name;
    for (const auto& [key, value] : attrs) out += " " + key + "=\"" + XmlEscape(value) + "\"";
    return out + " />";
}

bool ParseUnsigned(const std::string& text, uint64_t& value) {
    if (text.empty()) return false;
    std::string error;
    return EvaluateSectorExpr(text, SectorExprContext{}, value, error);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

Firehorse::Firehorse(FirehorseOptions options)
    : m_options(std::move(options)),
      m_client(m_port, BaseTimeoutMs()),
      m_timeoutMs(BaseTimeoutMs()) {}

bool Firehorse::Fail(const std::string& text) {
    OutLine("ERROR: " + text);
    return false;
}

std::string Firehorse::FindFile(const std::string& name, const std::string& xmlDir) const {
    if (name.empty()) return {};
    if (name[0] == '/') return IsFile(name) ? name : std::string();
    std::vector<std::string> dirs = m_options.searchPaths;
    dirs.push_back(xmlDir);
    dirs.push_back(".");
    for (std::string dir : dirs) {
        while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + name;
        if (IsFile(candidate)) return candidate;
    }
    return {};
}

bool Firehorse::LoadXml(const std::string& name) {
    const std::string path = FindFile(name, ".");
    if (path.empty()) return Fail("Could not find XML file '" + name + "' in the search path");
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed)
        return Fail("Cannot parse '" + path + "': " + parsed.description() + " at byte " +
                    std::to_string(parsed.offset));
    OutLine("INFO: Reading XML file '" + path + "'");
    const std::string xmlDir = std::filesystem::path(path).parent_path().string();
    pugi::xml_node root = doc.document_element();
    for (pugi::xml_node node : root.children()) {
        if (node.type() != pugi::node_element) continue;
        const std::string tag = node.name();
        Task task;
        for (pugi::xml_attribute a : node.attributes()) task.attributes[a.name()] = a.value();
        const std::string filename = node.attribute("filename").as_string();
        if (tag == "program") {
            if (filename.empty()) continue;  // nothing to write for this partition
            task.kind = Task::Kind::Program;
            task.path = FindFile(filename, xmlDir);
            if (task.path.empty())
                return Fail("Could not find file '" + filename + "' named in '" + name + "'");
        } else if (tag == "erase") {
            task.kind = Task::Kind::Erase;
            task.element = Element(tag, task.attributes);
        } else if (tag == "patch") {
            if (filename != "DISK") continue;  // patches of host-side files are not sent
            task.kind = Task::Kind::Patch;
            task.element = Element(tag, task.attributes);
        } else {
            OutLine("WARNING: Ignoring unsupported tag <" + tag + "> in '" + name + "'");
            continue;
        }
        m_tasks.push_back(std::move(task));
    }
    return true;
}

bool Firehorse::Configure() {
    auto send = [&](uint64_t payload, FirehoseReply& reply) {
        OutLine("INFO: Sending <configure>");
        std::string error;
        std::map<std::string, std::string> attrs{
            {"MemoryName", m_options.memoryName},
            {"MaxPayloadSizeToTargetInBytes", std::to_string(payload)},
            {"ZlpAwareHost", std::to_string(m_options.zlpAwareHost)},
            {"SkipStorageInit", "0"},
            {"Verbose", "0"},
            {"AlwaysValidate", "0"},
            {"MaxDigestTableSizeInBytes", "2048"}};
        if (!m_client.Command(Element("configure", attrs), reply, m_timeoutMs, error))
            return Fail("No answer to <configure>: " + error +
                        " (is the device in Firehose mode?)");
        return true;
    };
    const uint64_t wanted = m_options.maxPayload;
    FirehoseReply reply;
    if (!send(wanted, reply)) return false;
    auto number = [&](const char* key) -> uint64_t {
        auto it = reply.attributes.find(key);
        uint64_t v = 0;
        return it != reply.attributes.end() && ParseUnsigned(it->second, v) ? v : 0;
    };
    uint64_t offered = reply.ack ? number("MaxPayloadSizeToTargetInBytesSupported")
                                 : number("MaxPayloadSizeToTargetInBytes");
    if (offered == 0)
        offered = reply.ack ? number("MaxPayloadSizeToTargetInBytes")
                            : number("MaxPayloadSizeToTargetInBytesSupported");
    if (!reply.ack && offered == 0) return Fail("Device refused <configure>: " + reply.Reason());
    if (offered == 0) offered = wanted;
    // A chunk buffer of this size is allocated; keep it sane whatever the device offers.
    offered = std::clamp<uint64_t>(offered, 512, kMaxPayload);
    if (offered != wanted || !reply.ack) {
        if (!send(offered, reply)) return false;
        if (!reply.ack) return Fail("Device refused <configure>: " + reply.Reason());
    }
    m_payload = offered;
    OutLine("INFO: fh.attrs.MaxPayloadSizeToTargetInBytes = " + std::to_string(m_payload));
    return true;
}

bool Firehorse::DiskSectors(const std::string& partition, uint64_t& sectors) {
    auto cached = m_diskSectors.find(partition);
    if (cached != m_diskSectors.end()) {
        sectors = cached->second;
        return true;
    }
    FirehoseReply reply;
    std::string error;
    if (!m_client.Command(
            "<getstorageinfo physical_partition_number=\"" + XmlEscape(partition) + "\" />", reply,
            m_timeoutMs, error))
        return Fail("No answer to <getstorageinfo>: " + error);
    if (!reply.ack)
        return Fail("Device refused <getstorageinfo> for physical partition " + partition + ": " +
                    reply.Reason());
    for (const std::string& log : reply.logs) {
        std::size_t at = log.find("total_blocks");
        if (at == std::string::npos) continue;
        at = log.find_first_of("0123456789", at + 12);
        if (at == std::string::npos) continue;
        errno = 0;
        sectors = std::strtoull(log.c_str() + at, nullptr, 10);
        if (errno != 0 || sectors == 0) continue;
        m_diskSectors[partition] = sectors;
        return true;
    }
    return Fail("Device did not report the size of physical partition " + partition);
}

bool Firehorse::Plan(Task& task) {
    auto attr = [&](const char* key, const char* fallback) {
        auto it = task.attributes.find(key);
        return it == task.attributes.end() || it->second.empty() ? std::string(fallback)
                                                                 : it->second;
    };
    const std::string label = attr("filename", "");
    uint64_t sectorSize = 0, maxSectors = 0, fileSectorOffset = 0, start = 0;
    if (!ParseUnsigned(attr("SECTOR_SIZE_IN_BYTES", "512"), sectorSize) || sectorSize == 0 ||
        sectorSize % 512 != 0 || sectorSize > (1u << 20))
        return Fail("Bad SECTOR_SIZE_IN_BYTES for '" + label + "'");
    if (!ParseUnsigned(attr("num_partition_sectors", "0"), maxSectors) ||
        !ParseUnsigned(attr("file_sector_offset", "0"), fileSectorOffset))
        return Fail("Bad num_partition_sectors or file_sector_offset for '" + label + "'");
    task.sectorSize = static_cast<uint32_t>(sectorSize);
    task.partition = attr("physical_partition_number", "0");
    const std::string startText = attr("start_sector", "0");
    SectorExprContext context;
    if (ExprNeedsDiskSize(startText)) {
        if (!DiskSectors(task.partition, context.numDiskSectors)) return false;
        context.hasDiskSectors = true;
    }
    std::string error;
    if (!EvaluateSectorExpr(startText, context, start, error))
        return Fail("Bad start_sector for '" + label + "': " + error);
    task.regionStart = start;

    struct stat st {};
    ::stat(task.path.c_str(), &st);
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    bool sparse = false;
    uint64_t expanded = 0;
    std::vector<SparseChunk> chunks;
    if (attr("sparse", "false") == "true" &&
        !SparseImage::Read(task.path, sparse, expanded, chunks, error))
        return Fail(error);
    if (sparse) {
        if (expanded % sectorSize != 0)
            return Fail("Sparse image '" + label + "' is not a whole number of sectors");
        const uint64_t expandedSectors = expanded / sectorSize;
        if (maxSectors != 0 && expandedSectors > maxSectors)
            return Fail("Sparse image '" + label + "' expands to " +
                        std::to_string(expandedSectors) + " sectors, the partition has " +
                        std::to_string(maxSectors));
        task.regionSectors = maxSectors != 0 ? maxSectors : expandedSectors;
        for (const SparseChunk& c : chunks) {
            if (c.kind == SparseChunk::Kind::DontCare) continue;
            if (c.outOffset % sectorSize != 0 || c.bytes % sectorSize != 0)
                return Fail("Sparse image '" + label + "' has chunks that are not whole sectors");
            Segment s;
            s.startSector = start + c.outOffset / sectorSize;
            s.sectors = c.bytes / sectorSize;
            s.fromFile = c.kind == SparseChunk::Kind::Raw;
            s.fileOffset = c.fileOffset;
            s.fileBytes = c.bytes;
            s.fill = c.fill;
            task.segments.push_back(s);
        }
    } else {
        const uint64_t skip = fileSectorOffset * sectorSize;
        if (skip > fileSize)
            return Fail("file_sector_offset of '" + label + "' lies beyond the end of the file");
        Segment s;
        s.startSector = start;
        s.fileOffset = skip;
        s.fileBytes = fileSize - skip;
        s.sectors = (s.fileBytes + sectorSize - 1) / sectorSize;
        if (maxSectors != 0 && s.sectors > maxSectors) {
            OutLine("WARNING: '" + label +
                    "' is larger than its partition; writing only the first " +
                    std::to_string(maxSectors) + " sectors");
            s.sectors = maxSectors;
            s.fileBytes = maxSectors * sectorSize;
        }
        task.regionSectors = maxSectors != 0 ? maxSectors : s.sectors;
        if (s.sectors > 0) task.segments.push_back(s);
    }
    for (const Segment& s : task.segments) m_totalBytes += s.sectors * sectorSize;
    return true;
}

void Firehorse::Progress() {
    if (!m_options.showPercent || m_totalBytes == 0) return;
    char text[64];
    std::snprintf(text, sizeof text, "{percent files transferred  %.2f%%}",
                  100.0 * static_cast<double>(m_doneBytes) / static_cast<double>(m_totalBytes));
    if (m_lastPercent != text) OutLine(text);
    m_lastPercent = text;
}

bool Firehorse::Simple(const std::string& element, const std::string& what, int timeoutMs) {
    OutLine("INFO: Sending " + what);
    FirehoseReply reply;
    std::string error;
    if (!m_client.Command(element, reply, timeoutMs, error))
        return Fail("No answer to " + what + ": " + error);
    if (!reply.ack) return Fail("Device refused " + what + ": " + reply.Reason());
    return true;
}

bool Firehorse::WriteSegment(const Task& task, const Segment& segment, int fd) {
    const std::string name = task.attributes.at("filename");
    std::map<std::string, std::string> attrs{
        {"SECTOR_SIZE_IN_BYTES", std::to_string(task.sectorSize)},
        {"num_partition_sectors", std::to_string(segment.sectors)},
        {"physical_partition_number", task.partition},
        {"start_sector", std::to_string(segment.startSector)},
        {"filename", name}};
    if (auto it = task.attributes.find("label"); it != task.attributes.end())
        attrs["label"] = it->second;
    FirehoseReply reply;
    std::string error;
    if (!m_client.Command(Element("program", attrs), reply, m_timeoutMs, error))
        return Fail("No answer to <program> of '" + name + "': " + error);
    if (!reply.ack) return Fail("Device refused <program> of '" + name + "': " + reply.Reason());
    if (!reply.rawMode) return Fail("Device did not enter raw mode for '" + name + "'");

    const uint64_t chunk =
        std::max<uint64_t>(m_payload - m_payload % task.sectorSize, task.sectorSize);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(chunk));
    const uint64_t total = segment.sectors * task.sectorSize;
    for (uint64_t sent = 0; sent < total;) {
        const std::size_t len = static_cast<std::size_t>(std::min(chunk, total - sent));
        if (segment.fromFile) {
            std::size_t have =
                sent < segment.fileBytes
                    ? static_cast<std::size_t>(std::min<uint64_t>(len, segment.fileBytes - sent))
                    : 0;
            ssize_t got = have ? ::pread(fd, buffer.data(), have,
                                         static_cast<off_t>(segment.fileOffset + sent))
                               : 0;
            if (got != static_cast<ssize_t>(have)) return Fail("Cannot read '" + task.path + "'");
            std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(have),
                      buffer.begin() + static_cast<std::ptrdiff_t>(len), 0);
        } else {
            for (std::size_t i = 0; i < len; ++i)
                buffer[i] = static_cast<uint8_t>(segment.fill >> (8 * (i % 4)));
        }
        if (!m_client.WriteRaw(buffer.data(), len, error))
            return Fail("Sending '" + name + "' failed: " + error);
        sent += len;
        m_doneBytes += len;
        Progress();
    }
    if (!m_client.Await(reply, 6 * m_timeoutMs, error))
        return Fail("No answer after the data of '" + name + "': " + error);
    if (!reply.ack) return Fail("Device failed to write '" + name + "': " + reply.Reason());
    return true;
}

bool Firehorse::Program(const Task& task) {
    const std::string name = task.attributes.at("filename");
    OutLine("In handleProgram('" + name + "')");
    if (m_options.wipeFirst && task.regionSectors > 0) {
        std::map<std::string, std::string> attrs{
            {"SECTOR_SIZE_IN_BYTES", std::to_string(task.sectorSize)},
            {"physical_partition_number", task.partition},
            {"start_sector", std::to_string(task.regionStart)},
            {"num_partition_sectors", std::to_string(task.regionSectors)}};
        if (!Simple(Element("erase", attrs), "<erase> before '" + name + "'", 6 * m_timeoutMs))
            return false;
    }
    int fd = ::open(task.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("Cannot open '" + task.path + "'");
    bool ok = true;
    for (const Segment& segment : task.segments)
        if (!(ok = WriteSegment(task, segment, fd))) break;
    ::close(fd);
    return ok;
}

bool Firehorse::Run() {
    for (const std::string& xml : m_options.sendXml)
        if (!LoadXml(xml)) return false;
    // The order the device expects: erase, program, patch.
    std::stable_sort(m_tasks.begin(), m_tasks.end(),
                     [](const Task& a, const Task& b) { return a.kind < b.kind; });

    OutLine("INFO: User wants to talk to port '" + m_options.port + "'");
    std::string error;
    if (!m_port.Open(m_options.port, error)) return Fail(error);
    if (!Configure()) return false;
    for (Task& task : m_tasks)
        if (task.kind == Task::Kind::Program && !Plan(task)) return false;

    for (const Task& task : m_tasks) {
        bool ok = true;
        switch (task.kind) {
            case Task::Kind::Erase:
                ok = Simple(task.element, "<erase>", 6 * m_timeoutMs);
                break;
            case Task::Kind::Program:
                ok = Program(task);
                break;
            case Task::Kind::Patch:
                ok = Simple(task.element, "<patch>", m_timeoutMs);
                break;
        }
        if (!ok) return false;
    }
    if (m_totalBytes > 0) {
        m_doneBytes = m_totalBytes;
        Progress();
    }
    if (m_options.setActivePartition &&
        !Simple("<setbootablestoragedrive value=\"" +
                    std::to_string(*m_options.setActivePartition) + "\" />",
                "<setbootablestoragedrive>", m_timeoutMs))
        return false;
    if (m_options.reset) {
        OutLine("INFO: Sending <power>");
        FirehoseReply reply;
        if (!m_client.Command("<power value=\"reset\" />", reply, m_timeoutMs, error))
            OutLine("WARNING: No answer to <power> (the device may already be resetting): " +
                    error);
        else if (!reply.ack)
            return Fail("Device refused <power value=\"reset\">: " + reply.Reason());
    }
    OutLine("INFO: {All Finished Successfully}");
    return true;
}

}  // namespace gf::edl
