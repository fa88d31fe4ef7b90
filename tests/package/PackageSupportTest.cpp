#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "TempDir.h"
#include "UserStoreFile.h"
#include "package/PackageFiles.h"

namespace gf::test {
namespace {

TEST(WildcardMatchTest, MatchesLikeAWindowsSearch) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"patch*.xml", "patch0.xml", true},
        {"patch*.xml", "PATCH0.XML", true},
        {"patch*.xml", "patch.xml", true},
        {"patch*.xml", "mypatch0.xml", false},
        {"patch*.xml", "patch0.xml.bak", false},
        {"patch*.xml", "patch0.xm", false},
        {"prog_*.mbn", "prog_emmc_firehose_8909_ddr.mbn", true},
        {"prog_*.mbn", "Prog_.MBN", true},
        {"prog_*.mbn", "prog.mbn", false},
        {"prog_*.mbn", "prog_firehose_ddr.elf", false},
        {"*.xml", "a.xml.xml", true},
        {"*ab", "aab", true},
        {"*a*a*", "banana", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*", "", true},
        {"", "a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WildcardMatchNoCase(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
    }
}

TEST(FindPackageMatchesTest, ListsMatchingFilesOnly) {
    ScopedTempCwd cwd;
    WriteFile("pkg/patch1.xml", "");
    WriteFile("pkg/Patch0.xml", "");
    WriteFile("pkg/patch_dir.xml/inner", "");
    WriteFile("pkg/notpatch.xml", "");
    std::filesystem::create_symlink("Patch0.xml", "pkg/patch_link.xml");
    EXPECT_EQ(FindPackageMatches(cwd.path() + "/pkg/", "patch*.xml"),
              (std::vector<std::string>{"Patch0.xml", "patch1.xml", "patch_link.xml"}));
    EXPECT_TRUE(FindPackageMatches(cwd.path() + "/none/", "patch*.xml").empty());
    WriteFile("patch9.xml", "");
    EXPECT_EQ(FindPackageMatches("", "patch*.xml"), (std::vector<std::string>{"patch9.xml"}));
}

class UserStoreFileTest : public ::testing::Test {
protected:
    ScopedTempCwd cwd;
    std::string path = cwd.path() + "/cfg/gangflash/registry.ini";
};

TEST_F(UserStoreFileTest, ValuesSurviveAsWrittenAcrossInstances) {
    const std::string key = "Software\\ORVATech\\";
    const std::vector<std::string> values = {"/home/op/fw/rawprogram0.xml",
                                             "  spaced path  ",
                                             "\"quoted\"",
                                             "a=b;c [d]",
                                             "C:\\fw\\x.xml",
                                             ""};
    UserStoreFile store(path);
    EXPECT_FALSE(store.Get(key, "Gangflash").has_value());
    ASSERT_TRUE(store.Set("Other", "Keep", "kept"));
    for (const std::string& v : values) {
        ASSERT_TRUE(store.Set(key, "Gangflash", v)) << v;
        UserStoreFile reader(path);
        EXPECT_EQ(reader.Get(key, "Gangflash"), v);
        EXPECT_EQ(reader.Get("software\\orvatech\\", "GANGFLASH"), v);  // names ignore case
    }
    EXPECT_EQ(store.Get("Other", "Keep"), "kept");
    // Only the store itself is left in its directory: no temporary files.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(cwd.path() + "/cfg/gangflash")) {
        EXPECT_EQ(e.path().filename(), "registry.ini");
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(UserStoreFileTest, RefusesWhatTheFileCannotCarry) {
    UserStoreFile store(path);
    EXPECT_FALSE(store.Set("k", "n", "two\nlines"));
    EXPECT_FALSE(store.Set("k", "n", "cr\r"));
    EXPECT_FALSE(store.Set("k", "n", std::string("zero\0byte", 9)));
    EXPECT_FALSE(store.Set("a]b", "n", "v"));
    EXPECT_FALSE(store.Set("k", "a=b", "v"));
    EXPECT_FALSE(store.Set("", "n", "v"));
    EXPECT_FALSE(std::filesystem::exists(path));

    WriteFile(cwd.path() + "/blocker", "a file where the directory should be");
    UserStoreFile blocked(cwd.path() + "/blocker/registry.ini");
    EXPECT_FALSE(blocked.Set("k", "n", "v"));
    EXPECT_FALSE(blocked.Get("k", "n").has_value());
}

TEST(UserStoreFileDefaultTest, FollowsTheConfigDirectoryConvention) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

    ::setenv("HOME", "/home/op", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(UserStoreFile::DefaultPath(), "/xdg/gangflash/registry.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_EQ(UserStoreFile::DefaultPath(), "/home/op/.config/gangflash/registry.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserStoreFile::DefaultPath(), "/home/op/.config/gangflash/registry.ini");

    if (oldXdg) ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (oldHome) {
        ::setenv("HOME", savedHome.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

}  // namespace
}  // namespace gf::test
