#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "PackageTestSupport.h"
#include "package/RawProgramFile.h"

namespace gf::test {
namespace {

const std::string kFixtures = std::string(GF_TEST_SOURCE_DIR) + "/package/fixtures/";

// The files a rawprogram text names, found by a plain text scan independent of
// the reader: every non-empty "filename" of an element whose name begins with
// 'p', except the device's DISK in patches.
std::vector<std::string> NamedFiles(const std::string& xml) {
    static const std::regex attr(R"re(<(p\w*)\b[^>]*?\sfilename\s*=\s*(["'])(.*?)\2)re");
    std::vector<std::string> names;
    for (std::sregex_iterator it(xml.begin(), xml.end(), attr), end; it != end; ++it) {
        const std::string element = (*it)[1], name = (*it)[3];
        if (name.empty() || (element == "patch" && name == "DISK")) continue;
        names.push_back(name);
    }
    return names;
}

class RawProgramFixtureTest : public ::testing::TestWithParam<const char*>,
                              protected PackageFixture {};

// A complete package is read without a message, one row per named file.
TEST_P(RawProgramFixtureTest, CompletePackageReadsWithoutMessages) {
    const std::string xml = ReadFile(kFixtures + GetParam());
    const std::vector<std::string> names = NamedFiles(xml);
    ASSERT_GE(names.size(), 3u);
    const std::string dir = Dir("pkg");
    Touch(dir, {"patch0.xml", "prog_firehose_ddr.elf", "prog_firehose_ddr.mbn"});
    Touch(dir, names);
    WriteFile(dir + GetParam(), xml);

    loader->m_strRawProgramPath = dir + GetParam();
    ASSERT_TRUE(loader->FindPackageFiles());
    ASSERT_TRUE(loader->ReadRawProgram());
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
    const auto rows = view.Rows();
    ASSERT_EQ(rows.size(), names.size() + 2);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(rows[i + 2], (std::vector<std::string>{names[i], dir}));
    }

    // One image gone: exactly its message, and one row fewer.
    std::filesystem::remove(dir + names[1]);
    RecordingPackageView view2;
    CPackageLoader again(view2, view2, nullptr);
    again.m_strRawProgramPath = dir + GetParam();
    ASSERT_TRUE(again.FindPackageFiles());
    ASSERT_TRUE(again.ReadRawProgram());
    const size_t uses = std::count(names.begin(), names.end(), names[1]);
    EXPECT_EQ(view2.Rows().size(), names.size() + 2 - uses);
    ASSERT_EQ(view2.Boxes().size(), uses);
    EXPECT_EQ(view2.Boxes()[0].text, "This file is wrong. \r\n " + dir + names[1]);
}

INSTANTIATE_TEST_SUITE_P(RealWorldLayouts, RawProgramFixtureTest,
                         ::testing::Values("rawprogram0_emmc.xml", "rawprogram0_ufs.xml",
                                           "rawprogram4_ufs.xml", "rawprogram_unsparse.xml",
                                           "rawprogram0_mixed.xml"));

TEST(RawProgramFileTest, EntriesCarryElementLabelAndLine) {
    const RawProgramRead read = ReadRawProgramFile(kFixtures + "rawprogram0_mixed.xml");
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.entries.size(), 10u);  // 6 programs and 4 patches; <erase> is passed over
    EXPECT_EQ(read.entries[0].element, "program");
    EXPECT_EQ(read.entries[0].filename, "sbl1.mbn");
    EXPECT_EQ(read.entries[0].label, "sbl1");
    EXPECT_EQ(read.entries[0].line,
              5);  // after the BOM, the declaration, a comment, <data>, <erase>
    EXPECT_EQ(read.entries[1].line, 7);
    EXPECT_EQ(read.entries[6].element, "patch");
    EXPECT_EQ(read.entries[9].filename, "DISK");
}

TEST(RawProgramFileTest, Utf16FileIsRead) {
    ScopedTempCwd cwd;
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<data><program filename=\"a.img\"/></data>";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    WriteFile("raw.xml", utf16);
    const RawProgramRead read = ReadRawProgramFile("raw.xml");
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].filename, "a.img");
}

}  // namespace
}  // namespace gf::test
