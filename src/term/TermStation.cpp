#include "TermStation.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "app/GangflashDlg.h"
#include "job/DownloadProc.h"
#include "platform/DeviceTree.h"
#include "util/QueueDispatcher.h"

namespace gf {

namespace {

// Raw, non-echoing keys while the station runs; restored on destruction.
class RawKeys {
public:
    explicit RawKeys(bool enable) {
        if (!enable || !::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &m_saved) != 0) return;
        termios raw = m_saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawKeys() {
        if (m_active) ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
    }
    bool active() const { return m_active; }

private:
    termios m_saved{};
    bool m_active = false;
};

}  // namespace

TermStation::TermStation(TermView& view, QueueDispatcher& dispatcher, CGangflashDlg& dlg,
                         IDeviceChangeSource* changes, TermOptions options)
    : m_view(view), m_dispatcher(dispatcher), m_dlg(dlg), m_changes(changes), m_options(options) {
    m_dlg.m_onSlotState = [this](int slot, int state) {
        if (state != kSlotFailed && state != kSlotPassed) return;
        auto& r = m_results[slot];
        if (r.job == m_dlg.m_pDownloadProc[slot] && r.state >= 0) return;  // first end counts
        r.job = m_dlg.m_pDownloadProc[slot];
        r.state = state;
        r.seconds = m_dlg.m_nTimerCount[slot];
    };
    if (m_changes != nullptr) {
        m_changes->SetListener([this] { m_dispatcher.Post([this] { m_dlg.OnDeviceChange(); }); });
    }
}

TermStation::~TermStation() {
    if (m_changes != nullptr) m_changes->SetListener(nullptr);
    m_dlg.m_onSlotState = nullptr;
}

bool TermStation::AllFinished() const {
    bool any = false;
    for (int slot = 0; slot < 8; ++slot) {
        const auto& job = m_dlg.m_pDownloadProc[slot];
        if (!job) continue;
        any = true;
        const auto& r = m_results[slot];
        if (r.job != job || r.state < 0) return false;
        if (!job->IsDone() && !job->IsStopRequested()) return false;
    }
    return any;
}

void TermStation::HandleKey(char key, bool& quit) {
    switch (key) {
        case 'q': quit = true; break;
        case 'r': m_dlg.OnCommand(kRefreshId); break;
        case 'a': m_dlg.OnCommand(kStartAllId); break;
        case 'l': m_dlg.OnCommand(kLoadXmlId); break;
        default:
            if (key >= '0' && key <= '7') m_dlg.OnCommand(kStartButtonId + (key - '0'));
            break;
    }
}

int TermStation::Run() {
    if (m_options.autoAll) m_view.SetCheck(kAutoAllId, true);
    m_view.SetFooter(m_options.interactive
                         ? "keys: r Refresh  a StartAll  0-7 Start slot  l LoadXML  q quit"
                         : "");
    m_dlg.OnInitDialog();
    RawKeys keys(m_options.interactive);
    bool quit = m_view.Ended();
    while (!quit) {
        auto now = std::chrono::steady_clock::now();
        auto wait = std::chrono::milliseconds(100);
        if (auto next = m_view.NextTimer(); next && *next - now < wait) {
            wait = std::max(std::chrono::milliseconds(0),
                            std::chrono::duration_cast<std::chrono::milliseconds>(*next - now));
        }
        m_dispatcher.WaitAndRun(wait);
        for (int id : m_view.DueTimers(std::chrono::steady_clock::now())) m_dlg.OnTimer(id);
        if (keys.active()) {
            pollfd p{STDIN_FILENO, POLLIN, 0};
            char c;
            while (::poll(&p, 1, 0) > 0 && ::read(STDIN_FILENO, &c, 1) == 1) HandleKey(c, quit);
        }
        m_view.Render();
        if (m_view.Ended()) break;
        if (m_options.exitWhenIdle && AllFinished()) break;
    }
    m_view.Render();
    m_dlg.StopAllJobs();
    m_dispatcher.RunPending();

    bool allPassed = true, any = false;
    for (int slot = 0; slot < 8; ++slot) {
        if (!m_dlg.m_pDownloadProc[slot]) continue;
        any = true;
        if (m_results[slot].state != kSlotPassed) allPassed = false;
    }
    return any && allPassed ? 0 : 1;
}

std::string TermStation::Summary() const {
    std::ostringstream out;
    out << "slot  port          result  seconds  log\n";
    for (int slot = 0; slot < 8; ++slot) {
        const auto& job = m_dlg.m_pDownloadProc[slot];
        if (!job) continue;
        const auto& r = m_results[slot];
        const char* result = r.job != job   ? "RUNNING"
                             : r.state == kSlotPassed ? "PASS"
                                                      : "FAILED";
        char line[512];
        std::snprintf(line, sizeof line, "%-5d %-13s %-7s %7u  %s\n", slot,
                      m_view.GetText(kPortComboId + slot).c_str(), result,
                      r.job == job ? r.seconds : m_dlg.m_nTimerCount[slot],
                      job->m_strLogPath.c_str());
        out << line;
    }
    return out.str();
}

}  // namespace gf
