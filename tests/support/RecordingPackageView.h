#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "RecordingView.h"
#include "package/PackageView.h"

namespace gf::test {

// A main window for the package code: the recording view plus a file list
// that keeps its rows the way the coloured list does (fixed column count,
// AddRow refusing a row of the wrong width), a scripted file-open dialog and
// a scripted password prompt that, like CPassWordDlg, keeps its last accepted
// text across cancelled prompts. Events() lists the list, dialog and message
// box calls in the order they happened.
class RecordingPackageView : public RecordingView, public IPackageView {
public:
    explicit RecordingPackageView(int columns = 2) : m_nColumns(columns) {}

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;

    int InsertColumns(const std::vector<std::string>& captions,
                      const std::vector<std::uint8_t>& percentages) override;
    int AddRow(const std::vector<std::string>& texts) override;
    int DeleteAllRows() override;
    std::optional<std::string> ChooseFileToOpen(const std::vector<FileFilter>& filters) override;
    PasswordReply RunPasswordPrompt() override;

    // Scripting: the next prompts end with OK and the text, or with Cancel;
    // with nothing queued a prompt is cancelled. The next file dialogs return
    // the path or are cancelled (nullopt); with nothing queued, cancelled.
    void QueuePassword(const std::string& text);
    void QueuePasswordCancel();
    void QueueFile(std::optional<std::string> path);

    // Inspection.
    std::vector<std::vector<std::string>> Rows() const;
    std::vector<std::string> ColumnCaptions() const;
    std::vector<std::vector<FileFilter>> FileDialogs() const;  // filters of each dialog shown
    int PasswordPrompts() const;
    std::vector<std::string> Events() const;  // "AddRow a | b", "MessageBox Error: ..."

private:
    void Event(std::string e);

    const int m_nColumns;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_captions;
    std::vector<std::vector<std::string>> m_rows;
    std::deque<std::optional<std::string>> m_passwords;  // nullopt = Cancel
    std::deque<std::optional<std::string>> m_files;
    std::vector<std::vector<FileFilter>> m_dialogs;
    std::string m_strPassword;
    int m_nPrompts = 0;
    std::vector<std::string> m_events;
};

}  // namespace gf::test
