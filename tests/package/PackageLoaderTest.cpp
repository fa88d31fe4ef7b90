#include <gtest/gtest.h>

#include <filesystem>

#include "PackageTestSupport.h"

namespace gf::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string Program(const std::string& filename, const std::string& label = "x") {
    return "  <program SECTOR_SIZE_IN_BYTES=\"512\" filename=\"" + filename + "\" label=\"" +
           label + "\" num_partition_sectors=\"1024\" start_sector=\"34\"/>\n";
}

class PackageLoaderTest : public ::testing::Test, protected PackageFixture {
protected:
    // Discovery and reading of a chosen rawprogram file, as the LoadXML
    // command does it once the password and the dialog are through.
    bool Open(const std::string& rawProgram) {
        loader->m_strRawProgramPath = rawProgram;
        return loader->FindPackageFiles() && loader->ReadRawProgram();
    }
    Rows Companions(const std::string& dir) {
        return {{"patch0.xml", dir}, {"prog_emmc_firehose_8909_ddr.mbn", dir}};
    }
    void ChooseWithPassword(const std::string& path) {
        view.QueuePassword(kLoadXmlPassword);
        view.QueueFile(path);
        loader->OnLoadXml();
    }
};

// --- Reading the rawprogram file ---

struct ReadCase {
    const char* what;
    std::string body;
    std::vector<std::string> present;          // image files created
    std::vector<std::string> expectedNames;    // file list rows after the two companions
    std::vector<std::string> expectedMissing;  // names whose message box is expected
};

TEST_F(PackageLoaderTest, ReadsEntriesInDocumentOrder) {
    const std::vector<ReadCase> cases = {
        {"empty filename between two files",
         Program("sbl1.mbn", "sbl1") + Program("", "fsc") + Program("system.img", "system"),
         {"sbl1.mbn", "system.img"},
         {"sbl1.mbn", "system.img"},
         {}},
        {"same file named three times",
         Program("sbl1.mbn", "sbl1") + Program("sbl1.mbn", "sbl1bak") + Program("sbl1.mbn", "sbl2"),
         {"sbl1.mbn"},
         {"sbl1.mbn", "sbl1.mbn", "sbl1.mbn"},
         {}},
        {"comments and other elements are passed over",
         Program("a.img") + "  <!-- <program filename=\"commented.img\"/> -->\n" +
             "  <erase filename=\"erased.img\" start_sector=\"0\"/>\n" +
             "  <configure MemoryName=\"eMMC\"/>\n" + Program("b.img"),
         {"a.img", "b.img"},
         {"a.img", "b.img"},
         {}},
        {"subdirectories with either separator",
         Program("images/boot.img") + Program("images\\modem.img"),
         {"images/boot.img", "images/modem.img"},
         {"images/boot.img", "images\\modem.img"},
         {}},
        {"two missing files, one message each",
         Program("gone1.img") + Program("here.img") + Program("gone2.img"),
         {"here.img"},
         {"here.img"},
         {"gone1.img", "gone2.img"}},
        {"nested elements are not entries",
         "  <group>\n" + Program("inner.img") + "  </group>\n",
         {},
         {},
         {}},
        {"a directory is not an image file", Program("images"), {"images/a"}, {}, {"images"}},
        {"patches of the device's disk name no file",
         "  <patch filename=\"DISK\" start_sector=\"1\" value=\"0\"/>\n"
         "  <patch filename=\"gpt_main0.bin\" start_sector=\"2\" value=\"NUM_DISK_SECTORS-34.\"/>\n"
         "  <power value=\"reset\"/>\n",
         {"gpt_main0.bin"},
         {"gpt_main0.bin"},
         {}},
    };
    int n = 0;
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        view.ClearCalls();
        const std::string pkg = "pkg" + std::to_string(n++);
        const std::string dir = Dir(pkg);
        const size_t boxesBefore = view.Boxes().size();
        ASSERT_TRUE(Open(MakePackage(pkg, c.body, c.present)));

        Rows expected = Companions(dir);
        for (const auto& name : c.expectedNames) expected.push_back({name, dir});
        EXPECT_EQ(view.Rows(), expected);

        const auto boxes = view.Boxes();
        std::vector<std::string> messages;
        for (size_t i = boxesBefore; i < boxes.size(); ++i) {
            messages.push_back(boxes[i].text);
            EXPECT_EQ(boxes[i].caption, "Error");
            EXPECT_EQ(boxes[i].flags, MB_ICONERROR);
        }
        std::vector<std::string> expectedMessages;
        for (const auto& name : c.expectedMissing)
            expectedMessages.push_back("This file is wrong. \r\n " + dir + name);
        EXPECT_EQ(messages, expectedMessages);
    }
}

TEST_F(PackageLoaderTest, FullPathOf260CharactersCountsAsMissing) {
    const std::string dir = Dir("pkg");
    // Names chosen so that the full paths are 259 and 260 characters long.
    const std::string shortName = std::string(259 - dir.size() - 4, 'a') + ".img";
    const std::string longName = std::string(260 - dir.size() - 4, 'b') + ".img";
    const std::string raw =
        MakePackage("pkg", Program(shortName) + Program(longName), {shortName, longName});
    ASSERT_TRUE(Open(raw));
    Rows expected = Companions(dir);
    expected.push_back({shortName, dir});
    EXPECT_EQ(view.Rows(), expected);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"This file is wrong. \r\n " + dir + longName}));
}

// --- The LoadXML lock ---

TEST_F(PackageLoaderTest, WrongPasswordsWarnUntilTheRightOneOpensTheDialog) {
    const std::string raw = MakePackage("pkg", Program("sbl1.mbn"), {"sbl1.mbn"});
    view.QueuePassword("");
    view.QueuePassword("123456");
    view.QueuePassword("739251 ");
    view.QueuePassword(kLoadXmlPassword);
    view.QueueFile(raw);
    loader->OnLoadXml();

    EXPECT_EQ(view.PasswordPrompts(), 4);
    const auto boxes = view.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Please input password!");
    EXPECT_EQ(boxes[1].text, "Password incorect!");
    EXPECT_EQ(boxes[2].text, "Password incorect!");
    for (const auto& b : boxes) {
        EXPECT_EQ(b.caption, "Warning");
        EXPECT_EQ(b.flags, MB_ICONEXCLAMATION);
    }
    const auto dialogs = view.FileDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    ASSERT_EQ(dialogs[0].size(), 2u);
    EXPECT_EQ(dialogs[0][0].description, "RawProgram File(rawprogram*.xml)");
    EXPECT_EQ(dialogs[0][0].pattern, "rawprogram*.xml");
    EXPECT_EQ(dialogs[0][1].description, "All Files(*.*)");
    EXPECT_EQ(dialogs[0][1].pattern, "*.*");

    EXPECT_EQ(loader->m_strRawProgramPath, raw);
    EXPECT_EQ(loader->m_strPatchPath, Dir("pkg") + "patch0.xml");
    EXPECT_EQ(loader->m_strProgrammerPath, Dir("pkg") + "prog_emmc_firehose_8909_ddr.mbn");
    EXPECT_EQ(loader->m_strPackageDir, Dir("pkg"));
    EXPECT_EQ(view.Text(1050), raw);
    EXPECT_EQ(view.Rows().size(), 3u);
    EXPECT_EQ(store.Get(kPackageStoreKey, kPackageStoreValue), raw);
}

TEST_F(PackageLoaderTest, CancelAtAnyStepChangesNothing) {
    const std::string raw = MakePackage("pkg", Program("sbl1.mbn"), {"sbl1.mbn"});
    view.QueuePasswordCancel();
    loader->OnLoadXml();  // first prompt cancelled
    view.QueuePassword("bad");
    view.QueuePasswordCancel();
    loader->OnLoadXml();  // cancelled after a warning
    view.QueuePassword(kLoadXmlPassword);
    view.QueueFile(std::nullopt);
    loader->OnLoadXml();  // file dialog cancelled

    EXPECT_EQ(view.PasswordPrompts(), 4);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Password incorect!"}));
    EXPECT_EQ(view.FileDialogs().size(), 1u);
    EXPECT_EQ(loader->m_strRawProgramPath, "");
    EXPECT_TRUE(view.Rows().empty());
    EXPECT_EQ(view.TextHistory(1050).size(), 0u);
    EXPECT_FALSE(store.Get(kPackageStoreKey, kPackageStoreValue).has_value());
}

// --- Discovery of the patch file and the programmer ---

struct DiscoveryCase {
    const char* what;
    std::vector<std::string> files;
    std::string message;
    std::vector<std::string> rowNames;  // rows left in the list
};

TEST_F(PackageLoaderTest, FailedDiscoveryLeavesNoMixedPackage) {
    const std::vector<DiscoveryCase> cases = {
        {"no patch file", {"prog_firehose.mbn"}, "Cann't find patch*.xml", {}},
        {"two patch files",
         {"patch0.xml", "patch1.xml", "prog_firehose.mbn"},
         "More then one patch*.xml file has been found!\r\n",
         {}},
        {"one patch file and no programmer",
         {"patch0.xml"},
         "Cann't find prog_*.mbn",
         {"patch0.xml"}},
        {"two programmer images",
         {"patch0.xml", "prog_firehose_ddr.mbn", "prog_emmc_firehose_8909.mbn"},
         "More then one prog_emmc_firehose_*.mbn file has been found!\r\n",
         {"patch0.xml"}},
    };
    // An earlier package that opened completely.
    ChooseWithPassword(MakePackage("good", Program("a.img"), {"a.img"}));
    ASSERT_NE(loader->m_strProgrammerPath, "");
    int n = 0;
    for (const DiscoveryCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pkg = "bad" + std::to_string(n++);
        const std::string dir = Dir(pkg);
        Touch(dir, c.files);
        WriteFile(dir + "rawprogram0.xml", "<data>" + Program("a.img") + "</data>");
        Touch(dir, {"a.img"});
        const size_t boxesBefore = view.Boxes().size();

        ChooseWithPassword(dir + "rawprogram0.xml");

        const auto boxes = view.Boxes();
        ASSERT_EQ(boxes.size(), boxesBefore + 1);
        EXPECT_EQ(boxes.back().text, c.message);
        EXPECT_EQ(boxes.back().caption, "Error");
        EXPECT_EQ(boxes.back().flags, MB_ICONEXCLAMATION);
        Rows expected;
        for (const auto& name : c.rowNames) expected.push_back({name, dir});
        EXPECT_EQ(view.Rows(), expected);
        EXPECT_EQ(view.Text(1050), dir + "rawprogram0.xml");
        EXPECT_EQ(loader->m_strRawProgramPath, dir + "rawprogram0.xml");
        EXPECT_EQ(loader->m_strPackageDir, dir);
        EXPECT_EQ(loader->m_strPatchPath, "");
        EXPECT_EQ(loader->m_strProgrammerPath, "");
        EXPECT_EQ(store.Get(kPackageStoreKey, kPackageStoreValue), Dir("good") + "rawprogram0.xml");
    }
}

TEST_F(PackageLoaderTest, OnePatchRowThenTheProgrammerMessage) {
    const std::string dir = Dir("pkg");
    Touch(dir, {"patch0.xml", "rawprogram0.xml"});
    loader->m_strRawProgramPath = dir + "rawprogram0.xml";
    EXPECT_FALSE(loader->FindPackageFiles());
    EXPECT_EQ(view.Events(),
              (std::vector<std::string>{"DeleteAllRows", "AddRow patch0.xml | " + dir,
                                        "MessageBox Error: Cann't find prog_*.mbn"}));
}

TEST_F(PackageLoaderTest, SearchesIgnoreCaseAndDirectories) {
    const std::string dir = Dir("pkg");
    Touch(dir, {"PATCH0.XML", "Prog_Firehose_DDR.MBN", "patch_dir.xml/inner", "rawprogram0.xml"});
    loader->m_strRawProgramPath = dir + "rawprogram0.xml";
    ASSERT_TRUE(loader->FindPackageFiles());
    EXPECT_EQ(loader->m_strPatchPath, dir + "PATCH0.XML");
    EXPECT_EQ(loader->m_strProgrammerPath, dir + "Prog_Firehose_DDR.MBN");
    EXPECT_EQ(view.Rows(), (Rows{{"PATCH0.XML", dir}, {"Prog_Firehose_DDR.MBN", dir}}));
}

TEST_F(PackageLoaderTest, PathWithoutSeparatorSearchesTheCurrentDirectory) {
    Touch(cwd.path() + "/", {"patch0.xml", "prog_firehose.mbn", "sbl1.mbn"});
    WriteFile("rawprogram0.xml", "<data>" + Program("sbl1.mbn") + "</data>");
    ASSERT_TRUE(Open("rawprogram0.xml"));
    EXPECT_EQ(loader->m_strPackageDir, "");
    EXPECT_EQ(loader->m_strPatchPath, "patch0.xml");
    EXPECT_EQ(loader->m_strProgrammerPath, "prog_firehose.mbn");
    EXPECT_EQ(view.Rows(), (Rows{{"patch0.xml", ""}, {"prog_firehose.mbn", ""}, {"sbl1.mbn", ""}}));
    EXPECT_TRUE(view.Boxes().empty());
}

// --- Unreadable rawprogram files ---

TEST_F(PackageLoaderTest, UnreadableRawProgramIsReportedAndNotRemembered) {
    struct Case {
        const char* what;
        std::string content;  // empty: the file is not created
        std::string reason;   // part of the message
    };
    const std::vector<Case> cases = {
        {"not well-formed",
         "<data>\n" + Program("a.img") + "  <program filename=\"b.img\"\n</data>\n",
         "at line 4, column 1"},
        {"no root element", "<!-- nothing -->\n", "No document element"},
        {"missing file", "", "cannot open the file"},
    };
    ASSERT_TRUE(Open(MakePackage("good", Program("a.img"), {"a.img"})));
    ASSERT_TRUE(loader->SaveLastPackage(Dir("good") + "rawprogram0.xml"));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = Dir("bad" + std::to_string(n++));
        Touch(dir, {"patch0.xml", "prog_firehose.mbn", "a.img"});
        if (!c.content.empty()) WriteFile(dir + "rawprogram0.xml", c.content);
        const size_t boxesBefore = view.Boxes().size();

        ChooseWithPassword(dir + "rawprogram0.xml");

        const auto boxes = view.Boxes();
        ASSERT_EQ(boxes.size(), boxesBefore + 1);
        EXPECT_EQ(boxes.back().caption, "Error");
        EXPECT_EQ(boxes.back().flags, MB_ICONERROR);
        EXPECT_NE(boxes.back().text.find(dir + "rawprogram0.xml"), std::string::npos)
            << boxes.back().text;
        EXPECT_NE(boxes.back().text.find(c.reason), std::string::npos) << boxes.back().text;
        EXPECT_EQ(loader->m_strPatchPath, "");
        EXPECT_EQ(loader->m_strProgrammerPath, "");
        EXPECT_EQ(view.Text(1050), dir + "rawprogram0.xml");
        EXPECT_EQ(store.Get(kPackageStoreKey, kPackageStoreValue), Dir("good") + "rawprogram0.xml");
    }
}

TEST_F(PackageLoaderTest, EntryWithoutFilenameStopsTheReading) {
    const std::string raw = MakePackage(
        "pkg",
        Program("a.img") + "  <program label=\"modem\" start_sector=\"34\"/>\n" + Program("b.img"),
        {"a.img", "b.img"});
    ChooseWithPassword(raw);
    const std::string dir = Dir("pkg");
    Rows expected = Companions(dir);
    expected.push_back({"a.img", dir});
    EXPECT_EQ(view.Rows(), expected);
    const auto texts = MessageTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("<program label=\"modem\"> at line 4"), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find(raw), std::string::npos) << texts[0];
    EXPECT_FALSE(store.Get(kPackageStoreKey, kPackageStoreValue).has_value());
}

// --- The remembered package ---

TEST_F(PackageLoaderTest, RestoreReopensTheRememberedPackage) {
    const std::string raw = MakePackage("pkg", Program("sbl1.mbn"), {"sbl1.mbn"});
    ChooseWithPassword(raw);
    const Rows rows = view.Rows();

    RecordingPackageView view2;
    CPackageLoader next(view2, view2, &store);
    EXPECT_TRUE(next.RestoreLastPackage());
    EXPECT_EQ(next.m_strRawProgramPath, raw);
    EXPECT_EQ(next.m_strPatchPath, loader->m_strPatchPath);
    EXPECT_EQ(next.m_strProgrammerPath, loader->m_strProgrammerPath);
    EXPECT_EQ(view2.Rows(), rows);
    EXPECT_TRUE(view2.Boxes().empty());
}

TEST_F(PackageLoaderTest, RestoreWithoutAUsableRememberedFile) {
    struct Case {
        const char* what;
        std::optional<std::string> stored;  // nullopt: nothing stored
        bool result;
    };
    const std::string raw = MakePackage("pkg", Program("sbl1.mbn"), {"sbl1.mbn"});
    std::filesystem::remove(raw);
    const std::vector<Case> cases = {
        {"nothing remembered", std::nullopt, false},
        {"remembered file deleted", raw, true},
        {"remembered path is a directory", Dir("pkg"), true},
        {"value too long for the path buffer", Dir("pkg") + std::string(260, 'r'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempCwd other;
        UserStoreFile store2(other.path() + "/registry.ini");
        if (c.stored) {
            ASSERT_TRUE(store2.Set(kPackageStoreKey, kPackageStoreValue, *c.stored));
        }
        RecordingPackageView view2;
        CPackageLoader next(view2, view2, &store2);
        EXPECT_EQ(next.RestoreLastPackage(), c.result);
        EXPECT_TRUE(view2.Boxes().empty());
        EXPECT_TRUE(view2.Events().empty());
        EXPECT_EQ(next.m_strRawProgramPath, "");
        EXPECT_EQ(next.m_strPatchPath, "");
    }
    CPackageLoader noStore(view, view, nullptr);
    EXPECT_FALSE(noStore.RestoreLastPackage());
    EXPECT_FALSE(noStore.SaveLastPackage(raw));
}

TEST_F(PackageLoaderTest, SetUpFileListMakesTheTwoColumns) {
    loader->SetUpFileList();
    EXPECT_EQ(view.ColumnCaptions(), (std::vector<std::string>{"File Name", "Location"}));
}

}  // namespace
}  // namespace gf::test
