#pragma once

#include <string>

#include "package/PackageView.h"

namespace gf {

class IView;
class IUserStore;

// Where the last chosen package is remembered in the per-user store.
inline constexpr const char* kPackageStoreKey = "Software\\ORVATech\\";
inline constexpr const char* kPackageStoreValue = "Gangflash";
// The password that unlocks the choice of a package.
inline constexpr const char* kLoadXmlPassword = "739251";

// The firmware package of the main window: the four package paths, the
// LoadXML command behind the password prompt, the discovery of the patch file
// and the programmer image, the file list and the remembered last package.
// The controller owns one and reads its paths when a slot starts. UI thread
// only.
class CPackageLoader {
public:
    // `userStore` may be null: nothing is then remembered or restored.
    CPackageLoader(IView& view, IPackageView& files, IUserStore* userStore);

    // Start-up: the file list's two columns "File Name" (30%) and "Location" (70%).
    void SetUpFileList();

    // The LoadXML... button: password loop, file-open dialog, discovery,
    // reading, and remembering the choice when all of that succeeded.
    void OnLoadXml();

    // Shows the rawprogram path, derives the package directory, refills the
    // file list with the patch and programmer rows. True when exactly one
    // patch file and one programmer image were found; otherwise a message box
    // has said why and the patch and programmer paths are empty, so that no
    // slot starts with a mix of this package and an earlier one.
    bool FindPackageFiles();

    // Appends one row per file entry of the rawprogram file, with one message
    // box per missing file. False when the file cannot be read or parsed (the
    // patch and programmer paths are then cleared) or when an entry has no
    // "filename" attribute; a message box has said why.
    bool ReadRawProgram();

    // Start-up: reopens the remembered package when its rawprogram file still
    // exists. False when nothing could be read from the store or the package
    // failed to open; true otherwise, including when the file is gone.
    bool RestoreLastPackage();

    // Remembers the rawprogram path; true when the store took it.
    bool SaveLastPackage(const std::string& path);

    std::string m_strRawProgramPath;
    std::string m_strPatchPath;
    std::string m_strProgrammerPath;
    std::string m_strPackageDir;  // ends with '/', or empty

private:
    // Outcome of the search for one of the package's companion files.
    bool FindOne(const char* pattern, const char* noneText, const char* severalText,
                 std::string& name);
    void ForgetCompanions();

    IView& m_view;
    IPackageView& m_files;
    IUserStore* m_userStore;
};

}  // namespace gf
