#include "TermView.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "job/JobOwner.h"

namespace gf {

TermView::TermView(std::ostream& out, bool interactive, bool colour)
    : m_out(out), m_interactive(interactive), m_colour(colour) {}

void TermView::SetText(int id, const std::string& text) {
    m_text[id] = text;
    m_dirty = true;
    // Scripts see every new status text of a slot as one line.
    if (!m_interactive && id >= kStatusId && id < kStatusId + 8 && m_printed[id] != text) {
        m_printed[id] = text;
        const int slot = id - kStatusId;
        m_out << "slot " << slot << " " << m_text[kPortComboId + slot] << ": " << text << "\n"
              << std::flush;
    }
}

std::string TermView::GetText(int id) {
    auto it = m_text.find(id);
    return it == m_text.end() ? std::string() : it->second;
}

void TermView::SetProgressPos(int id, int pos) {
    m_progress[id] = pos;
    m_dirty = true;
}
void TermView::SetTextColor(int id, COLORREF color) {
    m_fg[id] = color;
    m_dirty = true;
}
void TermView::SetBkColor(int id, COLORREF color) {
    m_bg[id] = color;
    m_dirty = true;
}
void TermView::EnableControl(int id, bool enable) { m_enabled[id] = enable; }
bool TermView::IsChecked(int id) { return m_checked[id]; }
void TermView::SetCheck(int id, bool checked) { m_checked[id] = checked; }
void TermView::ComboResetContent(int id) { m_text[id].clear(); }
void TermView::ComboAddString(int id, const std::string& text) { m_comboPending[id] = text; }
void TermView::ComboSetCurSel(int id, int index) {
    if (index == 0) m_text[id] = m_comboPending[id];
    m_dirty = true;
}

void TermView::SetTimer(int id, unsigned periodMs) {
    auto period = std::chrono::milliseconds(periodMs);
    m_timers[id] = Timer{period, std::chrono::steady_clock::now() + period};
}

void TermView::KillTimer(int id) { m_timers.erase(id); }

std::vector<int> TermView::DueTimers(std::chrono::steady_clock::time_point now) {
    std::vector<int> due;
    for (auto& [id, t] : m_timers) {
        if (t.next <= now) {
            due.push_back(id);
            t.next += t.period;
        }
    }
    return due;
}

std::optional<std::chrono::steady_clock::time_point> TermView::NextTimer() const {
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const auto& [id, t] : m_timers) {
        if (!next || t.next < *next) next = t.next;
    }
    return next;
}

int TermView::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    m_out << "\n[" << caption << "] " << text << "\n";
    const bool yesNo = (flags & 0xF) == MB_YESNO;
    if (!yesNo) {
        m_out << std::flush;
        m_linesDrawn = 0;
        return IDOK;
    }
    if (!m_interactive || !::isatty(STDIN_FILENO)) {
        m_out << (m_assumeYes ? "(answered Yes)\n" : "(answered No)\n") << std::flush;
        return m_assumeYes ? IDYES : IDNO;
    }
    m_out << "Yes or No? [y/n] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    m_linesDrawn = 0;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? IDYES : IDNO;
}

void TermView::EndDialog(int result) {
    m_ended = true;
    m_endResult = result;
}

void TermView::SetFooter(const std::string& text) {
    m_footer = text;
    m_dirty = true;
}

std::string TermView::Ansi(COLORREF fg, COLORREF bg) const {
    if (!m_colour) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "\x1b[38;2;%u;%u;%um\x1b[48;2;%u;%u;%um", fg & 0xFF,
                  (fg >> 8) & 0xFF, (fg >> 16) & 0xFF, bg & 0xFF, (bg >> 8) & 0xFF,
                  (bg >> 16) & 0xFF);
    return buf;
}

std::string TermView::SlotLine(int slot) {
    const int width = 20;
    int pos = m_progress[kProgressId + slot];
    int filled = pos <= 0 ? 0 : pos >= 100 ? width : pos * width / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '.');
    char head[160];
    std::snprintf(head, sizeof head, "%d %-12.12s [%s] %5s %6s ", slot,
                  GetText(kPortComboId + slot).c_str(), bar.c_str(),
                  GetText(kPercentId + slot).c_str(), GetText(kElapsedId + slot).c_str());
    std::string status = GetText(kStatusId + slot);
    if (status.size() > 60) status = status.substr(0, 57) + "...";
    std::string line = head;
    const int id = kStatusId + slot;
    if (m_colour && m_bg.count(id)) {
        char padded[80];
        std::snprintf(padded, sizeof padded, " %-60s", status.c_str());
        line += Ansi(m_fg[id], m_bg[id]) + padded + "\x1b[0m";
    } else {
        line += status;
    }
    return line;
}

void TermView::Render() {
    if (!m_interactive || !m_dirty) return;
    m_dirty = false;
    std::ostringstream frame;
    if (m_linesDrawn > 0) frame << "\x1b[" << m_linesDrawn << "F";  // back to the first line
    int lines = 0;
    frame << "\x1b[2K" << GetText(1050) << "\n";
    ++lines;
    for (int slot = 0; slot < 8; ++slot) {
        frame << "\x1b[2K" << SlotLine(slot) << "\n";
        ++lines;
    }
    frame << "\x1b[2K" << m_footer << "\n";
    ++lines;
    m_linesDrawn = lines;
    m_out << frame.str() << std::flush;
}

}  // namespace gf
