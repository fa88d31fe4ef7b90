#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "ProfileFile.h"
#include "TempDir.h"
#include "util/IniText.h"

using namespace gf;
using namespace gf::test;

TEST(IniText, LookupIgnoresCaseAndBlanksOfNamesAndStripsQuotes) {
    const std::string text =
        "; comment\r\n[ SettingItems ]\r\n  nDownloadTimeout = 20 \r\nbEmergDL=\"0\"\r\n"
        "[Other]\r\nbEmergDL=5\r\n";
    EXPECT_EQ(IniLookup(text, "settingitems", "NDOWNLOADTIMEOUT"), "20");
    EXPECT_EQ(IniLookup(text, "SettingItems", "bEmergDL"), "0");
    EXPECT_EQ(IniLookup(text, "Other", "bEmergDL "), "5");
    EXPECT_EQ(IniLookup(text, "SettingItems", "missing"), std::nullopt);
    EXPECT_EQ(IniLookup(text, "Missing", "bEmergDL"), std::nullopt);
}

TEST(IniText, SetReplacesInPlaceAppendsToSectionOrAddsSection) {
    std::string t = IniSet("", "LinesProc", "Lin3 ", "QFILDownloadStart");
    EXPECT_EQ(t, "[LinesProc]\r\nLin3=QFILDownloadStart\r\n");
    t = IniSet(t, "LinesLog", "Lin3 ", "XXXX");
    t = IniSet(t, "linesproc", "Lin4 ", "");
    t = IniSet(t, "LinesProc", "LIN3", "QFILDownloadEnd");  // the file's spelling stays
    EXPECT_EQ(t,
              "[LinesProc]\r\nLin3=QFILDownloadEnd\r\nLin4=\r\n"
              "[LinesLog]\r\nLin3=XXXX\r\n");
    // A file with bare line feeds keeps them.
    EXPECT_EQ(IniSet("[A]\nx=1\n", "A", "y", "2"), "[A]\nx=1\ny=2\n");
}

TEST(IniText, ParseProfileIntTable) {
    struct Case {
        const char* value;
        int def;
        unsigned expected;
    } cases[] = {
        {"20", 7, 20},       {"  42abc", 7, 42}, {"abc", 7, 0},   {"", 7, 7},
        {"0x1F", 7, 31},     {"-1", 7, 0xFFFFFFFFu}, {"+3", 7, 3}, {"019", 7, 19},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseProfileInt(c.value, c.def), c.expected) << "value '" << c.value << "'";
    }
}

TEST(ProfileFile, MissingFileOrKeyGivesDefaultsAndWriteNeedsDirectory) {
    ScopedTempCwd cwd;
    ProfileFile p;
    EXPECT_EQ(p.GetInt("GangflashConfig.ini", "SettingItems", "bEmergDL", 1), 1u);
    EXPECT_EQ(p.GetString("none.ini", "S", "k", "dflt"), "dflt");
    EXPECT_FALSE(p.WriteString("NoDir/x.ini", "S", "k", "v"));
    ASSERT_TRUE(p.WriteString("x.ini", "S", "k", "v"));
    EXPECT_EQ(p.GetString("x.ini", "s", "K", ""), "v");
    EXPECT_EQ(p.GetInt("x.ini", "S", "other", 3600), 3600u);
}

TEST(ProfileFile, ConcurrentWritersOfOtherKeysLoseNothing) {
    ScopedTempCwd cwd;
    ProfileFile p;
    std::vector<std::thread> threads;
    for (int slot = 0; slot < 8; ++slot) {
        threads.emplace_back([&p, slot] {
            for (int i = 0; i < 200; ++i) {
                p.WriteString("board.ini", "LinesLog", "Lin" + std::to_string(slot) + " ",
                              "value" + std::to_string(i));
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(p.GetString("board.ini", "LinesLog", "Lin" + std::to_string(slot) + " ", ""),
                  "value199");
    }
}
