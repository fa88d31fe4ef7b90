#include "EdlStorage.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "Crc32.h"

namespace gf::sim {

namespace {

bool OpenSized(const std::string& path, uint64_t bytes, int& fd, std::string& error) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = "cannot open storage '" + path + "': " + ::strerror(errno);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) < bytes &&
        ::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        error = "cannot size storage '" + path + "': " + ::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

EdlStorage::~EdlStorage() {
    for (int& fd : m_fds)
        if (fd >= 0) ::close(fd);
}

bool EdlStorage::Open(const std::string& path, uint64_t bytes, std::string& error) {
    m_path = path;
    m_bytes = bytes - bytes % kSectorSize;
    return OpenSized(path, bytes, m_fds[0], error);
}

uint64_t EdlStorage::Sectors(int partition) const {
    return (partition == 0 ? m_bytes : kBootAreaBytes) / kSectorSize;
}

int EdlStorage::Fd(int partition, std::string& error) {
    if (m_fds[partition] < 0) {
        std::string side = m_path + ".boot" + std::to_string(partition);
        if (!OpenSized(side, kBootAreaBytes, m_fds[partition], error)) return -1;
    }
    return m_fds[partition];
}

bool EdlStorage::CheckRange(int partition, uint64_t offset, uint64_t size,
                            std::string& error) const {
    const uint64_t limit = Sectors(partition) * kSectorSize;
    if (offset > limit || size > limit - offset) {
        error = "range of " + std::to_string(size) + " bytes at byte " + std::to_string(offset) +
                " is beyond the end of physical partition " + std::to_string(partition) + " (" +
                std::to_string(limit) + " bytes)";
        return false;
    }
    return true;
}

bool EdlStorage::Write(int partition, uint64_t offset, const void* data, std::size_t size,
                       std::string& error) {
    if (!CheckRange(partition, offset, size, error)) return false;
    int fd = Fd(partition, error);
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n <= 0) {
            error = std::string("storage write failed: ") + ::strerror(errno);
            return false;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool EdlStorage::Read(int partition, uint64_t offset, void* data, std::size_t size,
                      std::string& error) {
    if (!CheckRange(partition, offset, size, error)) return false;
    int fd = Fd(partition, error);
    if (fd < 0) return false;
    ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
        error = std::string("storage read failed: ") + ::strerror(errno);
        return false;
    }
    // Past the file's end (a shorter existing file) reads as erased.
    ::memset(static_cast<char*>(data) + n, 0, size - static_cast<std::size_t>(n));
    return true;
}

bool EdlStorage::Zero(int partition, uint64_t offset, uint64_t size, std::string& error) {
    if (!CheckRange(partition, offset, size, error)) return false;
    int fd = Fd(partition, error);
    if (fd < 0) return false;
    if (size == 0 || ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                                 static_cast<off_t>(offset), static_cast<off_t>(size)) == 0)
        return true;
    std::vector<char> zeros(1 << 20, 0);
    while (size > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(size, zeros.size()));
        if (!Write(partition, offset, zeros.data(), n, error)) return false;
        offset += n;
        size -= n;
    }
    return true;
}

bool EdlStorage::Crc32(int partition, uint64_t offset, uint64_t size, uint32_t& crc,
                       std::string& error) {
    if (!CheckRange(partition, offset, size, error)) return false;
    std::vector<char> buffer(1 << 20);
    crc = 0;
    while (size > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(size, buffer.size()));
        if (!Read(partition, offset, buffer.data(), n, error)) return false;
        crc = gf::edl::Crc32(buffer.data(), n, crc);
        offset += n;
        size -= n;
    }
    return true;
}

}  // namespace gf::sim
