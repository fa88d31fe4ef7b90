#include "package/PackageLoader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "package/PackageFiles.h"
#include "package/RawProgramFile.h"
#include "platform/UserStore.h"
#include "platform/View.h"

namespace gf {

namespace {

// The main window's package path text (kPackagePathId of the controller).
constexpr int kPackagePathText = 1050;

// Firehose commands that may sit among the entries but never name a file.
constexpr std::array<std::string_view, 3> kFileLessCommands = {"peek", "poke", "power"};

bool IsFileLessCommand(const std::string& element) {
    return std::find(kFileLessCommands.begin(), kFileLessCommands.end(), element) !=
           kFileLessCommands.end();
}

// A <patch> aimed at "DISK" changes the device's storage, not a file of the
// package.
bool IsDiskPatch(const RawProgramEntry& entry) {
    return entry.element == "patch" && entry.filename == "DISK";
}

std::string DescribeEntry(const RawProgramEntry& entry) {
    std::string text = "<" + entry.element;
    if (!entry.label.empty()) text += " label=\"" + entry.label + "\"";
    text += ">";
    if (entry.line > 0) text += " at line " + std::to_string(entry.line);
    return text;
}

// Packages made on Windows may name files in subdirectories with backslashes;
// the name as written is tried first, then with '/' separators.
bool EntryFileExists(const std::string& dir, const std::string& name) {
    if (PackageFileExists(dir + name)) return true;
    if (name.find('\\') == std::string::npos) return false;
    std::string slashed = name;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return PackageFileExists(dir + slashed);
}

}  // namespace

CPackageLoader::CPackageLoader(IView& view, IPackageView& files, IUserStore* userStore)
    : m_view(view), m_files(files), m_userStore(userStore) {}

void CPackageLoader::SetUpFileList() {
    m_files.InsertColumns({"File Name", "Location"}, std::vector<std::uint8_t>{30, 70});
}

void CPackageLoader::OnLoadXml() {
    PasswordReply reply = m_files.RunPasswordPrompt();
    if (reply.result != IDOK) return;
    while (reply.password != kLoadXmlPassword) {
        m_view.MessageBox(reply.password.empty() ? "Please input password!" : "Password incorect!",
                          "Warning", MB_ICONEXCLAMATION);
        reply = m_files.RunPasswordPrompt();
        if (reply.result != IDOK) return;
    }

    const std::optional<std::string> chosen = m_files.ChooseFileToOpen(
        {{"RawProgram File(rawprogram*.xml)", "rawprogram*.xml"}, {"All Files(*.*)", "*.*"}});
    if (!chosen || chosen->empty()) return;

    m_strRawProgramPath = *chosen;
    if (FindPackageFiles() && ReadRawProgram()) SaveLastPackage(*chosen);
}

bool CPackageLoader::FindOne(const char* pattern, const char* noneText, const char* severalText,
                             std::string& name) {
    const std::vector<std::string> found = FindPackageMatches(m_strPackageDir, pattern);
    if (found.size() != 1) {
        ForgetCompanions();
        m_view.MessageBox(found.empty() ? noneText : severalText, "Error", MB_ICONEXCLAMATION);
        return false;
    }
    name = found.front();
    return true;
}

bool CPackageLoader::FindPackageFiles() {
    m_view.SetText(kPackagePathText, m_strRawProgramPath);
    const std::size_t slash = m_strRawProgramPath.rfind('/');
    m_strPackageDir =
        slash == std::string::npos ? std::string() : m_strRawProgramPath.substr(0, slash + 1);
    m_files.DeleteAllRows();

    std::string name;
    if (!FindOne("patch*.xml", "Cann't find patch*.xml",
                 "More then one patch*.xml file has been found!\r\n", name))
        return false;
    m_strPatchPath = m_strPackageDir + name;
    m_files.AddRow({name, m_strPackageDir});

    if (!FindOne("prog_*.mbn", "Cann't find prog_*.mbn",
                 "More then one prog_emmc_firehose_*.mbn file has been found!\r\n", name))
        return false;
    m_strProgrammerPath = m_strPackageDir + name;
    m_files.AddRow({name, m_strPackageDir});
    return true;
}

bool CPackageLoader::ReadRawProgram() {
    const RawProgramRead read = ReadRawProgramFile(m_strRawProgramPath);
    if (!read.ok) {
        ForgetCompanions();
        m_view.MessageBox("This file cannot be read as a rawprogram file. \r\n " +
                              m_strRawProgramPath + "\r\n " + read.error,
                          "Error", MB_ICONERROR);
        return false;
    }
    for (const RawProgramEntry& entry : read.entries) {
        if (!entry.filename) {
            if (IsFileLessCommand(entry.element)) continue;
            m_view.MessageBox("This file has an entry without a \"filename\" attribute. \r\n " +
                                  m_strRawProgramPath + "\r\n " + DescribeEntry(entry),
                              "Error", MB_ICONERROR);
            return false;
        }
        const std::string& name = *entry.filename;
        if (name.empty() || IsDiskPatch(entry)) continue;
        if (EntryFileExists(m_strPackageDir, name)) {
            m_files.AddRow({name, m_strPackageDir});
        } else {
            m_view.MessageBox("This file is wrong. \r\n " + m_strPackageDir + name, "Error",
                              MB_ICONERROR);
        }
    }
    return true;
}

bool CPackageLoader::RestoreLastPackage() {
    if (m_userStore == nullptr) return false;
    std::optional<std::string> stored = m_userStore->Get(kPackageStoreKey, kPackageStoreValue);
    // The value is read into a 260-byte buffer: a longer one is not read at
    // all, and the text ends at its first zero byte.
    if (!stored || stored->size() >= kMaxPackagePath) return false;
    const std::string path = stored->substr(0, stored->find('\0'));
    if (!PackageFileExists(path)) return true;

    m_strRawProgramPath = path;
    return FindPackageFiles() && ReadRawProgram();
}

bool CPackageLoader::SaveLastPackage(const std::string& path) {
    return m_userStore != nullptr && m_userStore->Set(kPackageStoreKey, kPackageStoreValue, path);
}

void CPackageLoader::ForgetCompanions() {
    m_strPatchPath.clear();
    m_strProgrammerPath.clear();
}

}  // namespace gf
