#include "GuiMain.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "QtDispatcher.h"
#include "Screenshot.h"
#include "StationWindow.h"
#include "app/GangflashApp.h"
#include "app/GangflashDlg.h"
#include "platform/DeviceTree.h"

namespace gf {

bool GuiAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

int RunGuiStation(int& argc, char** argv, const Services& services, IDeviceChangeSource* changes,
                  const GuiStationOptions& options) {
    const bool screenshot = !options.screenshotPath.empty();
    if (screenshot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<QApplication> ownApp;
    if (QApplication::instance() == nullptr) ownApp = std::make_unique<QApplication>(argc, argv);

    CQtDispatcher dispatcher;
    CStationWindow window;
    if (options.instanceLock != nullptr &&
        !CGangflashApp(*options.instanceLock).InitInstance(window)) {
        return 1;
    }
    CGangflashDlg dlg(window, dispatcher, services);
    window.m_onCommand = [&dlg](int id) { dlg.OnCommand(id); };
    window.m_onTimer = [&dlg](int id) { dlg.OnTimer(id); };
    bool windowOpen = true;  // UI thread only
    if (changes != nullptr) {
        // The monitor calls from its own thread; the scan runs on the UI thread,
        // and not at all once the window has closed.
        changes->SetListener([&dispatcher, &dlg, &windowOpen] {
            dispatcher.Post([&dlg, &windowOpen] {
                if (windowOpen) dlg.OnDeviceChange();
            });
        });
    }
    if (options.wire) options.wire(dlg, window);
    if (options.autoAll) window.SetCheck(kAutoAllId, true);

    int result = 0;
    bool shot = false;
    dlg.OnInitDialog();
    if (!dlg.Ended() && !window.Ended()) {
        if (screenshot) {
            QTimer::singleShot(std::max(0, options.screenshotAfterMs), &window, [&] {
                shot = RenderScreenshot(window, options.screenshotPath);
                if (!shot) {
                    std::fprintf(stderr, "gangflash: cannot write %s\n",
                                 options.screenshotPath.c_str());
                }
                window.done(0);
            });
        }
        result = window.exec();
    } else {
        result = window.EndResult() < 0 ? 0 : window.EndResult();
    }

    // Closing the window ends the station: no more device changes, the jobs
    // are told to stop and make no further reports.
    windowOpen = false;
    window.hide();
    if (changes != nullptr) changes->SetListener(nullptr);
    dlg.StopAllJobs();
    dispatcher.RunPending();
    if (screenshot) return shot ? 0 : 1;
    return result;
}

}  // namespace gf
