#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gf {

// One entry of a file-open dialog's filter list: the text shown and the
// wildcard pattern. A pattern "*.*" means every file, as on Windows.
struct FileFilter {
    std::string description;
    std::string pattern;
};

// What the password prompt (CPassWordDlg) returns: IDOK or IDCANCEL, and the
// prompt's password text. After IDOK the text is what the operator typed;
// after IDCANCEL it is whatever the prompt last accepted (callers ignore it).
struct PasswordReply {
    int result;
    std::string password;
};

// The parts of the main window the package code uses beyond IView (which
// carries the path text 1050 and the message boxes): the file list 1061, the
// file-open dialog and the password prompt. UI thread only.
class IPackageView {
public:
    virtual ~IPackageView() = default;

    // File list 1061 (CColorListCtrl). InsertColumns returns 0 on success or
    // the list's error code (1 to 4); AddRow returns the new row's index or -1
    // when texts does not hold one text per column; DeleteAllRows returns 1.
    virtual int InsertColumns(const std::vector<std::string>& captions,
                              const std::vector<std::uint8_t>& percentages) = 0;
    virtual int AddRow(const std::vector<std::string>& texts) = 0;
    virtual int DeleteAllRows() = 0;

    // Modal file-open dialog over the main window with the filters in the
    // order given (the first is selected). Returns the chosen file's full
    // path, or nothing when the operator cancels.
    virtual std::optional<std::string> ChooseFileToOpen(const std::vector<FileFilter>& filters) = 0;

    // Runs the password prompt modally; the prompt object is kept across runs.
    virtual PasswordReply RunPasswordPrompt() = 0;
};

}  // namespace gf
