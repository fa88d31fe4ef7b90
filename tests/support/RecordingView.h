#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/View.h"

namespace gf::test {

// A view that remembers every control's state and records the calls made,
// with scripted answers for message boxes.
class RecordingView : public IView {
public:
    struct Box {
        std::string text, caption;
        unsigned flags;
    };

    void SetText(int id, const std::string& text) override;
    std::string GetText(int id) override;
    void SetProgressPos(int id, int pos) override;
    void SetTextColor(int id, COLORREF color) override;
    void SetBkColor(int id, COLORREF color) override;
    void Invalidate(int id, bool erase) override;
    void RedrawNow(int id) override;
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) override;
    void SetCheck(int id, bool checked) override;
    void ComboResetContent(int id) override;
    void ComboAddString(int id, const std::string& text) override;
    void ComboSetCurSel(int id, int index) override;
    void SetTimer(int id, unsigned periodMs) override;
    void KillTimer(int id) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void EndDialog(int result) override;

    // Inspection (any thread).
    std::string Text(int id) const;
    int Progress(int id) const;
    COLORREF TextColor(int id) const;
    COLORREF BkColor(int id) const;
    bool Enabled(int id) const;
    bool TimerRunning(int id) const;
    std::vector<Box> Boxes() const;
    std::vector<std::string> TextHistory(int id) const;
    int EndDialogResult() const;  // -1 when not ended
    std::vector<std::string> Calls() const;  // "SetText 1020 READY", ...
    void ClearCalls();
    // Answers for the next message boxes, in order; IDOK when none left.
    void QueueAnswer(int answer);

private:
    void Record(std::string call);
    mutable std::mutex m_mutex;
    std::map<int, std::string> m_text;
    std::map<int, std::string> m_pendingCombo;
    std::map<int, std::vector<std::string>> m_history;
    std::map<int, int> m_progress;
    std::map<int, COLORREF> m_textColor, m_bkColor;
    std::map<int, bool> m_enabled, m_checked;
    std::set<int> m_timers;
    std::vector<Box> m_boxes;
    std::deque<int> m_answers;
    std::vector<std::string> m_calls;
    int m_endResult = -1;
};

}  // namespace gf::test
