#include "RecordingView.h"

namespace gf::test {

void RecordingView::Record(std::string call) { m_calls.push_back(std::move(call)); }

void RecordingView::SetText(int id, const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_text[id] = text;
    m_history[id].push_back(text);
    Record("SetText " + std::to_string(id) + " " + text);
}

std::string RecordingView::GetText(int id) { return Text(id); }

void RecordingView::SetProgressPos(int id, int pos) {
    std::lock_guard lock(m_mutex);
    m_progress[id] = pos;
    Record("SetProgressPos " + std::to_string(id) + " " + std::to_string(pos));
}

void RecordingView::SetTextColor(int id, COLORREF color) {
    std::lock_guard lock(m_mutex);
    m_textColor[id] = color;
    Record("SetTextColor " + std::to_string(id) + " " + std::to_string(color));
}

void RecordingView::SetBkColor(int id, COLORREF color) {
    std::lock_guard lock(m_mutex);
    m_bkColor[id] = color;
    Record("SetBkColor " + std::to_string(id) + " " + std::to_string(color));
}

void RecordingView::Invalidate(int id, bool erase) {
    std::lock_guard lock(m_mutex);
    Record("Invalidate " + std::to_string(id) + (erase ? " erase" : ""));
}

void RecordingView::RedrawNow(int id) {
    std::lock_guard lock(m_mutex);
    Record("RedrawNow " + std::to_string(id));
}

void RecordingView::EnableControl(int id, bool enable) {
    std::lock_guard lock(m_mutex);
    m_enabled[id] = enable;
    Record("EnableControl " + std::to_string(id) + (enable ? " 1" : " 0"));
}

bool RecordingView::IsChecked(int id) {
    std::lock_guard lock(m_mutex);
    return m_checked[id];
}

void RecordingView::SetCheck(int id, bool checked) {
    std::lock_guard lock(m_mutex);
    m_checked[id] = checked;
    Record("SetCheck " + std::to_string(id) + (checked ? " 1" : " 0"));
}

void RecordingView::ComboResetContent(int id) {
    std::lock_guard lock(m_mutex);
    m_text[id].clear();
    Record("ComboResetContent " + std::to_string(id));
}

void RecordingView::ComboAddString(int id, const std::string& text) {
    std::lock_guard lock(m_mutex);
    Record("ComboAddString " + std::to_string(id) + " " + text);
    m_pendingCombo[id] = text;
}

void RecordingView::ComboSetCurSel(int id, int index) {
    std::lock_guard lock(m_mutex);
    if (index == 0) m_text[id] = m_pendingCombo[id];
    Record("ComboSetCurSel " + std::to_string(id) + " " + std::to_string(index));
}

void RecordingView::SetTimer(int id, unsigned periodMs) {
    std::lock_guard lock(m_mutex);
    m_timers.insert(id);
    Record("SetTimer " + std::to_string(id) + " " + std::to_string(periodMs));
}

void RecordingView::KillTimer(int id) {
    std::lock_guard lock(m_mutex);
    m_timers.erase(id);
    Record("KillTimer " + std::to_string(id));
}

int RecordingView::MessageBox(const std::string& text, const std::string& caption,
                              unsigned flags) {
    std::lock_guard lock(m_mutex);
    m_boxes.push_back({text, caption, flags});
    Record("MessageBox " + caption + ": " + text);
    if (m_answers.empty()) return IDOK;
    int a = m_answers.front();
    m_answers.pop_front();
    return a;
}

void RecordingView::EndDialog(int result) {
    std::lock_guard lock(m_mutex);
    m_endResult = result;
    Record("EndDialog " + std::to_string(result));
}

std::string RecordingView::Text(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_text.find(id);
    return it == m_text.end() ? std::string() : it->second;
}

int RecordingView::Progress(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_progress.find(id);
    return it == m_progress.end() ? 0 : it->second;
}

COLORREF RecordingView::TextColor(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_textColor.find(id);
    return it == m_textColor.end() ? 0 : it->second;
}

COLORREF RecordingView::BkColor(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_bkColor.find(id);
    return it == m_bkColor.end() ? 0 : it->second;
}

bool RecordingView::Enabled(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_enabled.find(id);
    return it != m_enabled.end() && it->second;
}

bool RecordingView::TimerRunning(int id) const {
    std::lock_guard lock(m_mutex);
    return m_timers.count(id) != 0;
}

std::vector<RecordingView::Box> RecordingView::Boxes() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::string> RecordingView::TextHistory(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_history.find(id);
    return it == m_history.end() ? std::vector<std::string>{} : it->second;
}

int RecordingView::EndDialogResult() const {
    std::lock_guard lock(m_mutex);
    return m_endResult;
}

std::vector<std::string> RecordingView::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void RecordingView::ClearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void RecordingView::QueueAnswer(int answer) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

}  // namespace gf::test
