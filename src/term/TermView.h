#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "platform/View.h"

namespace gf {

// The station window drawn in a terminal: one line per slot (port label, bar,
// percent, seconds, status text) coloured by the slot's status colours,
// redrawn in place on a terminal, or printed as change lines for scripts.
class TermView : public IView {
public:
    TermView(std::ostream& out, bool interactive, bool colour);

    void SetText(int id, const std::string& text) override;
    std::string GetText(int id) override;
    void SetProgressPos(int id, int pos) override;
    void SetTextColor(int id, COLORREF color) override;
    void SetBkColor(int id, COLORREF color) override;
    void Invalidate(int, bool) override { m_dirty = true; }
    void RedrawNow(int) override { m_dirty = true; }
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

    // Timers due at `now`, each returned once per period.
    std::vector<int> DueTimers(std::chrono::steady_clock::time_point now);
    std::optional<std::chrono::steady_clock::time_point> NextTimer() const;
    // Draws the slot lines when something changed.
    void Render();
    bool Ended() const { return m_ended; }
    int EndResult() const { return m_endResult; }
    // Answers for yes/no questions when nobody can be asked.
    void SetAssumeYes(bool yes) { m_assumeYes = yes; }
    // A line of the front-end's own above the slots (key help, summary).
    void SetFooter(const std::string& text);

private:
    std::string SlotLine(int slot);
    std::string Ansi(COLORREF fg, COLORREF bg) const;

    std::ostream& m_out;
    bool m_interactive;
    bool m_colour;
    bool m_assumeYes = false;
    bool m_dirty = true;
    bool m_ended = false;
    int m_endResult = 0;
    int m_linesDrawn = 0;
    std::string m_footer;
    std::map<int, std::string> m_text;
    std::map<int, std::string> m_comboPending;
    std::map<int, int> m_progress;
    std::map<int, COLORREF> m_fg, m_bg;
    std::map<int, bool> m_enabled, m_checked;
    std::map<int, std::string> m_printed;  // scripts: last status line printed per slot
    struct Timer {
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point next;
    };
    std::map<int, Timer> m_timers;
};

}  // namespace gf
