#include "RecordingPackageView.h"

#include <numeric>

namespace gf::test {

void RecordingPackageView::Event(std::string e) {
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(e));
}

int RecordingPackageView::MessageBox(const std::string& text, const std::string& caption,
                                     unsigned flags) {
    Event("MessageBox " + caption + ": " + text);
    return RecordingView::MessageBox(text, caption, flags);
}

int RecordingPackageView::InsertColumns(const std::vector<std::string>& captions,
                                        const std::vector<std::uint8_t>& percentages) {
    if (static_cast<int>(captions.size()) != m_nColumns) return 2;
    if (percentages.size() != captions.size()) return 3;
    if (captions.empty() || std::accumulate(percentages.begin(), percentages.end(), 0) != 100)
        return 4;
    std::lock_guard lock(m_mutex);
    m_captions = captions;
    m_events.push_back("InsertColumns");
    return 0;
}

int RecordingPackageView::AddRow(const std::vector<std::string>& texts) {
    if (static_cast<int>(texts.size()) != m_nColumns) return -1;
    std::string e = "AddRow";
    for (std::size_t i = 0; i < texts.size(); ++i) e += (i == 0 ? " " : " | ") + texts[i];
    std::lock_guard lock(m_mutex);
    m_rows.push_back(texts);
    m_events.push_back(std::move(e));
    return static_cast<int>(m_rows.size()) - 1;
}

int RecordingPackageView::DeleteAllRows() {
    std::lock_guard lock(m_mutex);
    m_rows.clear();
    m_events.push_back("DeleteAllRows");
    return 1;
}

std::optional<std::string> RecordingPackageView::ChooseFileToOpen(
    const std::vector<FileFilter>& filters) {
    std::lock_guard lock(m_mutex);
    m_dialogs.push_back(filters);
    m_events.push_back("ChooseFileToOpen");
    if (m_files.empty()) return std::nullopt;
    std::optional<std::string> path = m_files.front();
    m_files.pop_front();
    return path;
}

PasswordReply RecordingPackageView::RunPasswordPrompt() {
    std::lock_guard lock(m_mutex);
    ++m_nPrompts;
    m_events.push_back("PasswordPrompt");
    if (m_passwords.empty() || !m_passwords.front()) {
        if (!m_passwords.empty()) m_passwords.pop_front();
        return {IDCANCEL, m_strPassword};
    }
    m_strPassword = *m_passwords.front();
    m_passwords.pop_front();
    return {IDOK, m_strPassword};
}

void RecordingPackageView::QueuePassword(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_passwords.emplace_back(text);
}

void RecordingPackageView::QueuePasswordCancel() {
    std::lock_guard lock(m_mutex);
    m_passwords.emplace_back(std::nullopt);
}

void RecordingPackageView::QueueFile(std::optional<std::string> path) {
    std::lock_guard lock(m_mutex);
    m_files.push_back(std::move(path));
}

std::vector<std::vector<std::string>> RecordingPackageView::Rows() const {
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::vector<std::string> RecordingPackageView::ColumnCaptions() const {
    std::lock_guard lock(m_mutex);
    return m_captions;
}

std::vector<std::vector<FileFilter>> RecordingPackageView::FileDialogs() const {
    std::lock_guard lock(m_mutex);
    return m_dialogs;
}

int RecordingPackageView::PasswordPrompts() const {
    std::lock_guard lock(m_mutex);
    return m_nPrompts;
}

std::vector<std::string> RecordingPackageView::Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
}

}  // namespace gf::test
