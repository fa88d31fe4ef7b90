#pragma once

#include <functional>
#include <string>

namespace gf {

struct Services;
class IDeviceChangeSource;
class CGangflashDlg;
class CStationWindow;
class IInstanceLock;

struct GuiStationOptions {
    bool autoAll = false;  // check AutoAll before start-up
    // When set, the single-instance check runs first: a second station tells
    // the operator in a message box and ends without showing its window.
    IInstanceLock* instanceLock = nullptr;
    // Non-empty: run offscreen, write the window to this PNG after
    // screenshotAfterMs milliseconds of running, and end.
    std::string screenshotPath;
    int screenshotAfterMs = 0;
    // Called once the window and the controller exist and before start-up:
    // the place to connect the package code (the window is its IPackageView).
    std::function<void(CGangflashDlg&, CStationWindow&)> wire;
};

// Whether a window can be shown: a display (X11 or Wayland) or a Qt platform
// chosen explicitly (QT_QPA_PLATFORM, for example offscreen).
bool GuiAvailable();

// Runs the station in its window until the operator closes it (or start-up
// refuses, or the screenshot is taken). Creates the QApplication unless one
// exists. Device changes reported by `changes` (may be null) reach the port
// scan on the UI thread. Returns the dialog's result (1 when another station
// already runs); with a screenshot, 0 when the PNG was written and 1 otherwise.
int RunGuiStation(int& argc, char** argv, const Services& services, IDeviceChangeSource* changes,
                  const GuiStationOptions& options);

}  // namespace gf
