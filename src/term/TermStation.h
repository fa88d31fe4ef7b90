#pragma once

#include <array>
#include <memory>
#include <string>

#include "TermView.h"

namespace gf {

class CGangflashDlg;
class CDownloadProc;
class QueueDispatcher;
class IDeviceChangeSource;

struct TermOptions {
    bool interactive = false;   // a terminal: redraw in place and read keys
    bool autoAll = false;       // check AutoAll before start-up
    bool exitWhenIdle = false;  // end once every started slot has passed or failed
};

// The station's loop in a terminal: the UI thread runs the controller's
// messages, its one-second slot timers, device changes and the operator's keys
// (r Refresh, a StartAll, 0-7 Start, l LoadXML, q quit).
class TermStation {
public:
    TermStation(TermView& view, QueueDispatcher& dispatcher, CGangflashDlg& dlg,
                IDeviceChangeSource* changes, TermOptions options);
    ~TermStation();
    // Runs until the operator quits, start-up refuses, or (with exitWhenIdle)
    // every started slot has ended. Exit status: 0 only when every started
    // slot passed.
    int Run();
    // One line per started slot: slot, port, result, seconds, log file.
    std::string Summary() const;

private:
    bool AllFinished() const;
    void HandleKey(char key, bool& quit);

    TermView& m_view;
    QueueDispatcher& m_dispatcher;
    CGangflashDlg& m_dlg;
    IDeviceChangeSource* m_changes;
    TermOptions m_options;
    struct Result {
        std::shared_ptr<CDownloadProc> job;  // the job the result belongs to
        int state = -1;
        unsigned seconds = 0;
    };
    std::array<Result, 8> m_results;
};

}  // namespace gf
