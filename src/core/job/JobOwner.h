#pragma once

namespace gf {

class IView;
class IDispatcher;

// Slot state codes (lParam of WM_USER+1).
enum SlotState : int {
    kSlotFailed = 0,
    kSlotPassed = 1,
    kSlotIdle = 2,
    kSlotWorking = 3,
    kSlotReady = 4,
    kSlotTextOnly = 5,  // ShowStatus only: text and log, no state message
};

// Control identifiers of slot i.
constexpr int kPortComboId = 1000;
constexpr int kProgressId = 1010;
constexpr int kStatusId = 1020;
constexpr int kStartButtonId = 1030;
constexpr int kElapsedId = 1040;
constexpr int kPercentId = 1052;

// The main window as a job sees it (m_pOwnerWnd). The two handlers are the
// window messages WM_USER+1 and WM_USER+2; they run on the UI thread only.
class IJobOwner {
public:
    virtual ~IJobOwner() = default;
    virtual IView& View() = 0;
    virtual IDispatcher& Dispatcher() = 0;
    // WM_USER+1: wParam = status text identifier, lParam = slot state code.
    virtual void OnSlotStateMessage(int statusId, int state) = 0;
    // WM_USER+2: wParam = slot index, lParam = port name text or null.
    virtual void OnNewPortMessage(int slot, const char* port) = 0;
};

}  // namespace gf
