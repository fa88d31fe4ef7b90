#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>

#include "SamplePackage.h"
#include "TempDir.h"

namespace gf::sim {
namespace {

bool WriteStubProgrammer(const std::string& path, std::string& error) {
    std::ofstream(path) << "programmer";
    error.clear();
    return true;
}

TEST(SamplePackage, HoldsTheEntriesAStationAndTheLoaderNeed) {
    gf::test::ScopedTempCwd tmp;
    const std::string dir = tmp.path() + "/pkg";
    std::string error;
    ASSERT_TRUE(MakeSamplePackage(dir, error, WriteStubProgrammer)) << error;
    EXPECT_TRUE(gf::test::FileExists(dir + "/" + kSampleProgrammer));
    EXPECT_EQ(std::string(kSampleProgrammer).rfind("prog_", 0), 0u);

    pugi::xml_document raw;
    ASSERT_TRUE(raw.load_file((dir + "/rawprogram0.xml").c_str()));
    int entries = 0, empty = 0, sparse = 0, atDiskEnd = 0;
    for (pugi::xml_node p : raw.child("data").children("program")) {
        ++entries;
        const std::string file = p.attribute("filename").value();
        EXPECT_EQ(std::string(p.attribute("SECTOR_SIZE_IN_BYTES").value()), "512");
        EXPECT_FALSE(std::string(p.attribute("num_partition_sectors").value()).empty());
        if (file.empty()) {
            ++empty;
            continue;
        }
        ASSERT_TRUE(gf::test::FileExists(dir + "/" + file)) << file;
        const auto size = std::filesystem::file_size(dir + "/" + file);
        EXPECT_LE(size, p.attribute("num_partition_sectors").as_ullong() * 512) << file;
        if (p.attribute("sparse").as_bool()) {
            ++sparse;
            const std::string head = gf::test::ReadFile(dir + "/" + file).substr(0, 4);
            EXPECT_EQ(head, std::string("\x3a\xff\x26\xed", 4)) << "sparse magic";
        }
        if (std::string(p.attribute("start_sector").value()).find("NUM_DISK_SECTORS") !=
            std::string::npos) {
            ++atDiskEnd;
        }
    }
    EXPECT_GE(entries, 5);
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(sparse, 1);
    EXPECT_EQ(atDiskEnd, 1);

    pugi::xml_document patch;
    ASSERT_TRUE(patch.load_file((dir + "/patch0.xml").c_str()));
    int disk = 0, crc = 0;
    for (pugi::xml_node p : patch.child("patches").children("patch")) {
        if (std::string(p.attribute("filename").value()) == "DISK") ++disk;
        if (std::string(p.attribute("value").value()).rfind("CRC32(", 0) == 0) ++crc;
    }
    EXPECT_GE(disk, 6);
    EXPECT_EQ(crc, 4);
}

TEST(SamplePackage, ProgrammerFailureFailsTheGenerator) {
    gf::test::ScopedTempCwd tmp;
    std::string error;
    EXPECT_FALSE(
        MakeSamplePackage(tmp.path() + "/pkg", error, [](const std::string&, std::string& e) {
            e = "no programmer today";
            return false;
        }));
    EXPECT_EQ(error, "no programmer today");
    EXPECT_FALSE(MakeSamplePackage(tmp.path() + "/pkg2", error, {}));
}

TEST(SamplePackage, CheckFindsTheFirstUnflashedSector) {
    gf::test::ScopedTempCwd tmp;
    const std::string dir = tmp.path() + "/pkg";
    std::string error;
    ASSERT_TRUE(MakeSamplePackage(dir, error, WriteStubProgrammer));
    const std::string storage = tmp.path() + "/blank.emmc";
    { std::ofstream create(storage, std::ios::binary); }
    std::filesystem::resize_file(storage, 16u << 20);
    std::string mismatch;
    EXPECT_FALSE(CheckFlashedSample(dir, storage, mismatch));
    EXPECT_EQ(mismatch, "sbl1 at storage sector 34 differs");
}

}  // namespace
}  // namespace gf::sim
