#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "platform/Services.h"
#include "platform/View.h"

namespace gf {

class IView;
class IDispatcher;
class CPackageLoader;

// Control identifiers of the main window beyond the slot rows.
constexpr int kLoadXmlId = 1048;
constexpr int kPackagePathId = 1050;
constexpr int kAutoAllId = 1060;
constexpr int kFileListId = 1061;
constexpr int kStartAllId = 1100;
constexpr int kRefreshId = 1101;
constexpr int kAboutCommand = 16;

// Status text colours (text on background) per slot state.
struct SlotColours {
    COLORREF text, background;
};
SlotColours ColoursOfState(int state);

inline constexpr const char* kSettingsFile = "GangflashConfig.ini";
inline constexpr const char* kSettingsSection = "SettingItems";

// The main window's logic: eight station slots, their jobs and timers, the
// start-up and the port scan. Runs on the UI thread; the window itself is a
// view (Qt window, terminal front-end or a test's recording view).
class CGangflashDlg : public IJobOwner {
public:
    CGangflashDlg(IView& view, IDispatcher& dispatcher, const Services& services);
    ~CGangflashDlg() override;
    CGangflashDlg(const CGangflashDlg&) = delete;
    CGangflashDlg& operator=(const CGangflashDlg&) = delete;

    // IJobOwner: the window messages WM_USER+1 and WM_USER+2.
    IView& View() override { return m_view; }
    IDispatcher& Dispatcher() override { return m_dispatcher; }
    void OnSlotStateMessage(int statusId, int state) override;
    void OnNewPortMessage(int slot, const char* port) override;

    // Start-up (WM_INITDIALOG). Ends the dialog through the view on a refusal.
    bool OnInitDialog();
    bool Ended() const { return m_bEnded; }

    // Commands.
    void OnCommand(int id);  // Start buttons, StartAll, Refresh, LoadXML
    void StartSlot(int slot);
    void OnTimer(int id) { OnTimerSlot(id); }
    void OnTimerSlot(int slot);
    void OnDeviceChange() { RefreshPorts(); }
    int ScanPorts();
    void RefreshPorts();

    // Start-up helpers.
    bool PrepareLoaderCopies();
    bool IsProcessRunning(const std::string& name);
    // Ends the first process of that name and then waits 300 ms.
    void KillProcessByName(const std::string& name);

    // Gives the window its firmware package: reopened at start-up, changed by
    // LoadXML, read by every slot start.
    void AttachPackage(CPackageLoader* loader);

    // Hooks the package code fills: reopening the last package at start-up and
    // the LoadXML command.
    std::function<void()> m_restorePackage;
    std::function<void()> m_loadXml;
    // Called with each new job after it is filled and before its thread starts.
    std::function<void(CDownloadProc&)> m_onJobCreated;
    // Called after every slot state change (front-ends that summarise runs).
    std::function<void(int slot, int state)> m_onSlotState;

    // Waits for every job this window started to finish after stopping it;
    // for an orderly end of tests and of the terminal front-end.
    void StopAllJobs();

    // --- Per-slot fields ---
    std::array<int, 8> m_nSlotState{};
    std::array<std::shared_ptr<CDownloadProc>, 8> m_pDownloadProc{};
    std::array<std::uint32_t, 8> m_nTimerCount{};
    std::array<std::string, 8> m_strSlotPort{};
    std::array<std::string, 8> m_strLastLinesLog{};

    // --- Window-wide fields ---
    std::uint32_t m_nOverTimeSeconds = 3600;
    std::int32_t m_bErase = 0;
    std::int32_t m_bReset = 0;
    std::int32_t m_bBackupAndRestoreQCN = 0;
    std::int32_t m_bEmergDL = 1;
    std::uint32_t m_nDownloadTimeout = 0;
    std::string m_strRawProgramPath;
    std::string m_strPatchPath;
    std::string m_strProgrammerPath;
    std::string m_strPackageDir;
    std::string m_szLogDir;
    std::list<std::string> m_listPorts;
    int m_nPortCount = 0;

    const Services& GetServices() const { return m_services; }

private:
    std::string ComboText(int slot);
    bool SlotBusy(int slot) const;
    void ReportTimerFailure(int slot, const std::string& message);
    std::string FormatTimestamp();
    void EndDialog(int result);

    IView& m_view;
    IDispatcher& m_dispatcher;
    Services m_services;
    bool m_bEnded = false;
    CPackageLoader* m_pPackage = nullptr;
    std::vector<std::shared_ptr<CDownloadProc>> m_retiredJobs;  // replaced, maybe still running
};

// The port name in an upper-cased friendly name: from the first "(COM" (its
// "(" excluded) to the last ")", empty when that span is negative.
std::string PortNameOfFriendlyName(const std::string& upperName);

}  // namespace gf
