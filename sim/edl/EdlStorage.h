#pragma once

#include <cstdint>
#include <string>

namespace gf::sim {

// The simulated eMMC: physical partition 0 (user area) is the session's storage
// file; partitions 1 and 2 (boot areas) are small side files beside it, made on
// first use. All files are sparse.
class EdlStorage {
public:
    static constexpr uint32_t kSectorSize = 512;
    static constexpr int kPartitions = 3;
    static constexpr uint64_t kBootAreaBytes = 4ull << 20;

    EdlStorage() = default;
    ~EdlStorage();
    EdlStorage(const EdlStorage&) = delete;
    EdlStorage& operator=(const EdlStorage&) = delete;

    // Opens (creating or extending) the user area file.
    bool Open(const std::string& path, uint64_t bytes, std::string& error);
    bool HasPartition(uint64_t partition) const { return partition < kPartitions; }
    uint64_t Sectors(int partition) const;
    // Byte-range operations; false with `error` set on a range or I/O fault.
    bool Write(int partition, uint64_t offset, const void* data, std::size_t size,
               std::string& error);
    bool Read(int partition, uint64_t offset, void* data, std::size_t size, std::string& error);
    bool Zero(int partition, uint64_t offset, uint64_t size, std::string& error);
    bool Crc32(int partition, uint64_t offset, uint64_t size, uint32_t& crc, std::string& error);

private:
    int Fd(int partition, std::string& error);
    bool CheckRange(int partition, uint64_t offset, uint64_t size, std::string& error) const;

    std::string m_path;
    uint64_t m_bytes = 0;
    int m_fds[kPartitions] = {-1, -1, -1};
};

}  // namespace gf::sim
