#include "SamplePackage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace gf::sim {

namespace {

constexpr uint64_t kSector = 512;
constexpr uint32_t kBlock = 4096;  // block size of the sparse image
constexpr uint64_t kGptSectors = 34;
constexpr uint64_t kBackupGptSectors = 33;

struct Partition {
    const char* label;
    const char* file;  // empty: the entry writes nothing
    uint64_t start;
    uint64_t sectors;
    uint64_t fileBytes;  // raw images only
    bool sparse;
};

// sbl1's image ends inside a sector; modem has no file; system is sparse.
constexpr Partition kPartitions[] = {
    {"sbl1", "sbl1.mbn", 34, 1024, 70001, false},
    {"aboot", "emmc_appsboot.mbn", 1058, 2048, 307200, false},
    {"boot", "boot.img", 3106, 8192, 1048699, false},
    {"modem", "", 11298, 8192, 0, false},
    {"system", "system.img", 19490, 4096, 0, true},
};

// Chunks of the sparse image: type, blocks, fill pattern.
struct SparseChunk {
    uint16_t type;
    uint32_t blocks;
    uint32_t fill;
};
constexpr uint16_t kRaw = 0xCAC1, kFill = 0xCAC2, kDontCare = 0xCAC3;
constexpr SparseChunk kSparseChunks[] = {
    {kRaw, 16, 0}, {kFill, 32, 0xA55A5AA5u}, {kDontCare, 64, 0}, {kRaw, 16, 0}, {kFill, 128, 0},
};

// One sector of recognisable text naming the file and the sector.
std::string SectorText(const std::string& file, uint64_t sector) {
    std::string line = "GFSAMPLE " + file + " sector " + std::to_string(sector) + "\n";
    std::string s;
    while (s.size() < kSector) s += line;
    s.resize(kSector);
    return s;
}

std::string ImageText(const std::string& file, uint64_t firstSector, uint64_t bytes) {
    std::string s;
    for (uint64_t sec = firstSector; s.size() < bytes; ++sec) s += SectorText(file, sec);
    s.resize(bytes);
    return s;
}

void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, static_cast<uint16_t>(v >> 16));
}
void Put64At(std::string& s, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put32At(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint16_t Get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) |
                                 (static_cast<uint8_t>(s[at + 1]) << 8));
}
uint32_t Get32(const std::string& s, size_t at) {
    return Get16(s, at) | (static_cast<uint32_t>(Get16(s, at + 2)) << 16);
}

std::string SparseImage() {
    std::string img;
    uint32_t total = 0;
    for (const auto& c : kSparseChunks) total += c.blocks;
    Put32(img, 0xED26FF3Au);
    Put16(img, 1);
    Put16(img, 0);
    Put16(img, 28);
    Put16(img, 12);
    Put32(img, kBlock);
    Put32(img, total);
    Put32(img, static_cast<uint32_t>(std::size(kSparseChunks)));
    Put32(img, 0);
    uint64_t block = 0;
    for (const auto& c : kSparseChunks) {
        std::string data;
        if (c.type == kRaw) {
            data = ImageText("system.img", block * (kBlock / kSector), c.blocks * kBlock);
        } else if (c.type == kFill) {
            Put32(data, c.fill);
        }
        Put16(img, c.type);
        Put16(img, 0);
        Put32(img, c.blocks);
        Put32(img, static_cast<uint32_t>(12 + data.size()));
        img += data;
        block += c.blocks;
    }
    return img;
}

// Partition entries (128 of 128 bytes) naming the sample's partitions.
std::string GptEntries() {
    std::string e(128 * 128, '\0');
    size_t i = 0;
    for (const auto& p : kPartitions) {
        const size_t at = i++ * 128;
        // Type GUID: basic data; unique GUID: recognisable per entry.
        static const unsigned char type[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                               0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
        std::memcpy(&e[at], type, 16);
        for (int b = 0; b < 16; ++b) e[at + 16 + b] = static_cast<char>(0x60 + i + b);
        Put64At(e, at + 32, p.start);
        Put64At(e, at + 40, p.start + p.sectors - 1);
        for (size_t c = 0; p.label[c] != '\0' && c < 36; ++c) e[at + 56 + 2 * c] = p.label[c];
    }
    return e;
}

// Protective MBR, GPT header (CRCs, backup and last usable LBA left for the
// patches) and the entries.
std::string PrimaryGpt() {
    std::string g(kGptSectors * kSector, '\0');
    g[446 + 4] = static_cast<char>(0xEE);
    Put32At(g, 446 + 8, 1);
    Put32At(g, 446 + 12, 0xFFFFFFFFu);
    g[510] = 0x55;
    g[511] = static_cast<char>(0xAA);
    std::string h = "EFI PART";
    h.resize(92, '\0');
    Put32At(h, 8, 0x00010000u);
    Put32At(h, 12, 92);
    Put64At(h, 24, 1);                                                     // this header's LBA
    Put64At(h, 40, kGptSectors);                                           // first usable LBA
    for (int b = 0; b < 16; ++b) h[56 + b] = static_cast<char>(0x47 + b);  // disk GUID
    Put64At(h, 72, 2);                                                     // entries LBA
    Put32At(h, 80, 128);
    Put32At(h, 84, 128);
    g.replace(kSector, h.size(), h);
    g.replace(2 * kSector, 128 * 128, GptEntries());
    return g;
}

std::string BackupGpt() {
    std::string g(kBackupGptSectors * kSector, '\0');
    g.replace(0, 128 * 128, GptEntries());
    std::string h = PrimaryGpt().substr(kSector, 92);
    Put64At(h, 32, 1);  // the other header: the primary
    g.replace(32 * kSector, h.size(), h);
    return g;
}

std::string ProgramLine(const std::string& label, const std::string& file, uint64_t sectors,
                        const std::string& start, bool sparse, uint64_t startByte) {
    char kb[32];
    std::snprintf(kb, sizeof kb, "%.1f", static_cast<double>(sectors * kSector) / 1024.0);
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(startByte));
    return "  <program SECTOR_SIZE_IN_BYTES=\"512\" file_sector_offset=\"0\" filename=\"" + file +
           "\" label=\"" + label + "\" num_partition_sectors=\"" + std::to_string(sectors) +
           "\" partofsingleimage=\"false\" physical_partition_number=\"0\" "
           "readbackverify=\"false\" size_in_KB=\"" +
           kb + "\" sparse=\"" + (sparse ? "true" : "false") + "\" start_byte_hex=\"" +
           (start.find("NUM_DISK_SECTORS") == std::string::npos ? std::string(hex)
                                                                : "(512*" + start + ")") +
           "\" start_sector=\"" + start + "\" />\n";
}

std::string RawProgramXml() {
    std::string x = "<?xml version=\"1.0\" ?>\n<data>\n";
    x += "  <!--NOTE: sample package of the simulated bench-->\n";
    x += ProgramLine("PrimaryGPT", "gpt_main0.bin", kGptSectors, "0", false, 0);
    for (const auto& p : kPartitions) {
        x += ProgramLine(p.label, p.file, p.sectors, std::to_string(p.start), p.sparse,
                         p.start * kSector);
    }
    x += ProgramLine("BackupGPT", "gpt_backup0.bin", kBackupGptSectors, "NUM_DISK_SECTORS-33.",
                     false, 0);
    x += "</data>\n";
    return x;
}

std::string PatchLine(const std::string& file, uint64_t byteOffset, int size,
                      const std::string& start, const std::string& value, const std::string& what) {
    return "  <patch SECTOR_SIZE_IN_BYTES=\"512\" byte_offset=\"" + std::to_string(byteOffset) +
           "\" filename=\"" + file + "\" physical_partition_number=\"0\" size_in_bytes=\"" +
           std::to_string(size) + "\" start_sector=\"" + start + "\" value=\"" + value +
           "\" what=\"" + what + "\"/>\n";
}

std::string PatchXml() {
    const std::string last = "NUM_DISK_SECTORS-1.";
    const std::string entries = "NUM_DISK_SECTORS-33.";
    std::string x = "<?xml version=\"1.0\" ?>\n<patches>\n";
    // A patch of the host-side image file: hosts that write DISK patches skip it.
    x += PatchLine("gpt_main0.bin", 32, 8, "1", "NUM_DISK_SECTORS-1.",
                   "Update Primary Header with Backup GPT location.");
    x += PatchLine("DISK", 32, 8, "1", last, "Update Primary Header with Backup GPT location.");
    x += PatchLine("DISK", 48, 8, "1", "NUM_DISK_SECTORS-34.",
                   "Update Primary Header with last usable LBA.");
    x += PatchLine("DISK", 88, 4, "1", "CRC32(2,16384)",
                   "Update Primary Header with CRC of Partition Array.");
    x += PatchLine("DISK", 16, 4, "1", "0", "Zero Out Header CRC in Primary Header.");
    x += PatchLine("DISK", 16, 4, "1", "CRC32(1,92)",
                   "Update Primary Header with CRC of Primary Header.");
    x += PatchLine("DISK", 24, 8, last, last, "Update Backup Header with its own location.");
    x += PatchLine("DISK", 48, 8, last, "NUM_DISK_SECTORS-34.",
                   "Update Backup Header with last usable LBA.");
    x += PatchLine("DISK", 72, 8, last, entries,
                   "Update Backup Header with Partition Array location.");
    x += PatchLine("DISK", 88, 4, last, "CRC32(" + entries + ",16384)",
                   "Update Backup Header with CRC of Partition Array.");
    x += PatchLine("DISK", 16, 4, last, "0", "Zero Out Header CRC in Backup Header.");
    x += PatchLine("DISK", 16, 4, last, "CRC32(" + last + ",92)",
                   "Update Backup Header with CRC of Backup Header.");
    x += "</patches>\n";
    return x;
}

bool WriteAll(const std::string& path, const std::string& data, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool ReadAll(const std::string& path, std::string& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    data = ss.str();
    return true;
}

bool ReadAt(std::ifstream& in, uint64_t offset, size_t size, std::string& out) {
    out.assign(size, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(out.data(), static_cast<std::streamsize>(size));
    return static_cast<size_t>(in.gcount()) == size;
}

std::string Where(const std::string& label, uint64_t sector) {
    return label + " at storage sector " + std::to_string(sector);
}

// First differing sector of `expected` written at `startSector`, or "".
std::string Compare(std::ifstream& storage, const std::string& label, uint64_t startSector,
                    const std::string& expected) {
    std::string actual;
    if (!ReadAt(storage, startSector * kSector, expected.size(), actual)) {
        return Where(label, startSector) + ": storage too short";
    }
    for (size_t i = 0; i < expected.size(); i += kSector) {
        if (actual.compare(i, kSector, expected, i, kSector) != 0) {
            return Where(label, startSector + i / kSector) + " differs";
        }
    }
    return {};
}

}  // namespace

bool MakeSamplePackage(const std::string& dir, std::string& error,
                       const ProgrammerWriter& writeProgrammer) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    const std::string base = dir + "/";
    if (!WriteAll(base + "rawprogram0.xml", RawProgramXml(), error) ||
        !WriteAll(base + "patch0.xml", PatchXml(), error) ||
        !WriteAll(base + "gpt_main0.bin", PrimaryGpt(), error) ||
        !WriteAll(base + "gpt_backup0.bin", BackupGpt(), error)) {
        return false;
    }
    for (const auto& p : kPartitions) {
        if (*p.file == '\0') continue;
        const std::string data = p.sparse ? SparseImage() : ImageText(p.file, 0, p.fileBytes);
        if (!WriteAll(base + p.file, data, error)) return false;
    }
    if (!writeProgrammer) {
        error = "no programmer writer";
        return false;
    }
    return writeProgrammer(base + kSampleProgrammer, error);
}

bool CheckFlashedSample(const std::string& dir, const std::string& storagePath,
                        std::string& mismatch) {
    std::ifstream storage(storagePath, std::ios::binary);
    if (!storage) {
        mismatch = "cannot read " + storagePath;
        return false;
    }
    for (const auto& p : kPartitions) {
        if (*p.file == '\0') continue;
        std::string image;
        if (!ReadAll(dir + "/" + p.file, image)) {
            mismatch = "cannot read " + dir + "/" + p.file;
            return false;
        }
        if (!p.sparse) {
            image.resize((image.size() + kSector - 1) / kSector * kSector, '\0');
            mismatch = Compare(storage, p.label, p.start, image);
            if (!mismatch.empty()) return false;
            continue;
        }
        // Walk the sparse image: raw and fill chunks land at the running block.
        if (image.size() < 28 || Get32(image, 0) != 0xED26FF3Au) {
            mismatch = p.file + std::string(" is not a sparse image");
            return false;
        }
        const uint32_t blockSize = Get32(image, 12);
        const uint32_t chunks = Get32(image, 20);
        size_t at = Get16(image, 8);
        uint64_t sector = p.start;
        for (uint32_t c = 0; c < chunks && at + 12 <= image.size(); ++c) {
            const uint16_t type = Get16(image, at);
            const uint64_t bytes = static_cast<uint64_t>(Get32(image, at + 4)) * blockSize;
            const size_t total = Get32(image, at + 8);
            std::string expected;
            if (type == kRaw) {
                expected = image.substr(at + 12, bytes);
            } else if (type == kFill) {
                const std::string pattern = image.substr(at + 12, 4);
                while (expected.size() < bytes) expected += pattern;
            }
            if (!expected.empty()) {
                mismatch = Compare(storage, p.label, sector, expected);
                if (!mismatch.empty()) return false;
            }
            sector += bytes / kSector;
            at += total;
        }
    }
    mismatch.clear();
    return true;
}

}  // namespace gf::sim
