#include <gtest/gtest.h>

#include "SectorExpr.h"

namespace gf::edl {
namespace {

struct ExprCase {
    const char* text;
    bool ok;
    uint64_t value;
};

TEST(SectorExpr, EvaluatesTheRawprogramForms) {
    SectorExprContext context;
    context.hasDiskSectors = true;
    context.numDiskSectors = 1000;
    context.crc32 = [](uint64_t sector, uint64_t bytes, uint32_t& crc, std::string&) {
        crc = static_cast<uint32_t>(sector * 100000 + bytes);
        return true;
    };
    const ExprCase cases[] = {
        {"34", true, 34},
        {"34.", true, 34},
        {"0x22", true, 34},
        {"NUM_DISK_SECTORS-33.", true, 967},
        {"NUM_DISK_SECTORS-33", true, 967},
        {"0x10-10.", true, 6},
        {" ( NUM_DISK_SECTORS - 1 ) / 2 ", true, 499},
        {"2*3+4", true, 10},
        {"CRC32(2,4096)", true, 204096},
        {"CRC32(NUM_DISK_SECTORS-1.,92)", true, 99900092},
        {"", false, 0},
        {"5-10", false, 0},
        {"1/0", false, 0},
        {"34abc", false, 0},
        {"FOO+1", false, 0},
        {"CRC32(2)", false, 0},
        {"(3", false, 0},
        {"0x", false, 0},
        {"99999999999999999999999999", false, 0},
    };
    for (const ExprCase& c : cases) {
        uint64_t value = 0;
        std::string error;
        EXPECT_EQ(EvaluateSectorExpr(c.text, context, value, error), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(value, c.value) << c.text;
        else
            EXPECT_FALSE(error.empty()) << c.text;
    }
}

TEST(SectorExpr, HostWithoutDiskSizeOrCrcRefusesThem) {
    uint64_t value = 0;
    std::string error;
    EXPECT_FALSE(EvaluateSectorExpr("NUM_DISK_SECTORS-33.", SectorExprContext{}, value, error));
    EXPECT_NE(error.find("NUM_DISK_SECTORS"), std::string::npos);
    EXPECT_FALSE(EvaluateSectorExpr("CRC32(1,92)", SectorExprContext{}, value, error));
    EXPECT_TRUE(ExprNeedsDiskSize("NUM_DISK_SECTORS-5."));
    EXPECT_FALSE(ExprNeedsDiskSize("34"));
}

}  // namespace
}  // namespace gf::edl
