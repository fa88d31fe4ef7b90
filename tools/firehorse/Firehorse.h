#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FirehoseClient.h"
#include "SerialPort.h"

namespace gf::edl {

struct FirehorseOptions {
    std::string port;                      // resolved device path
    std::vector<std::string> sendXml;      // rawprogram / patch files, in order
    std::vector<std::string> searchPaths;  // where files named by the XML are found
    bool showPercent = false;
    int zlpAwareHost = 1;
    std::string memoryName = "eMMC";
    bool wipeFirst = false;
    std::optional<int> setActivePartition;
    bool reset = false;
    uint64_t maxPayload = 1 << 20;
};

// One fh_loader-style run: configure, then the tags of the XML files sorted as
// erase, program, patch, followed by setbootablestoragedrive and power. Every
// failure is printed as one "ERROR: ..." line and ends the run.
class Firehorse {
public:
    explicit Firehorse(FirehorseOptions options);
    bool Run();

private:
    // A stretch of sectors written by one <program>: file bytes (zero-padded to
    // whole sectors) or a repeated 4-byte fill pattern.
    struct Segment {
        uint64_t startSector = 0;
        uint64_t sectors = 0;
        bool fromFile = true;
        uint64_t fileOffset = 0;
        uint64_t fileBytes = 0;
        uint32_t fill = 0;
    };
    struct Task {
        enum class Kind { Erase, Program, Patch } kind = Kind::Program;
        std::string element;  // Erase/Patch: the command as sent
        std::map<std::string, std::string> attributes;
        std::string path;  // Program: the image file
        // Program, filled by Plan.
        uint32_t sectorSize = 512;
        std::string partition;
        uint64_t regionStart = 0;
        uint64_t regionSectors = 0;
        std::vector<Segment> segments;
    };

    bool Fail(const std::string& text);
    bool LoadXml(const std::string& name);
    std::string FindFile(const std::string& name, const std::string& xmlDir) const;
    bool Configure();
    bool DiskSectors(const std::string& partition, uint64_t& sectors);
    bool Plan(Task& task);
    bool Program(const Task& task);
    bool WriteSegment(const Task& task, const Segment& segment, int fd);
    bool Simple(const std::string& element, const std::string& what, int timeoutMs);
    void Progress();

    FirehorseOptions m_options;
    SerialPort m_port;
    FirehoseClient m_client;
    int m_timeoutMs;
    uint64_t m_payload = 0;
    std::vector<Task> m_tasks;
    std::map<std::string, uint64_t> m_diskSectors;
    uint64_t m_totalBytes = 0;
    uint64_t m_doneBytes = 0;
    std::string m_lastPercent;
};

}  // namespace gf::edl
