#include "app/GangflashDlg.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "job/StatusBoard.h"
#include "package/PackageLoader.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/View.h"
#include "ports/SerialPorts.h"

namespace gf {

namespace fs = std::filesystem;

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string AfterLastSeparator(const std::string& path) {
    std::size_t p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

}  // namespace

SlotColours ColoursOfState(int state) {
    switch (state) {
        case kSlotFailed: return {RGB(255, 255, 255), RGB(255, 0, 0)};
        case kSlotPassed: return {RGB(0, 0, 255), RGB(0, 255, 0)};
        case kSlotIdle: return {RGB(255, 255, 255), RGB(255, 255, 255)};
        case kSlotWorking: return {RGB(255, 255, 255), RGB(0, 0, 255)};
        case kSlotReady: return {RGB(255, 255, 255), RGB(180, 180, 255)};
        default: return {0, 0};
    }
}

std::string PortNameOfFriendlyName(const std::string& upperName) {
    std::size_t first = upperName.find("(COM");
    std::size_t last = upperName.rfind(')');
    long a = first == std::string::npos ? -1 : static_cast<long>(first);
    long b = last == std::string::npos ? -1 : static_cast<long>(last);
    long start = a + 1;
    long length = b - a - 1;
    if (length <= 0 || start >= static_cast<long>(upperName.size())) return {};
    return upperName.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

CGangflashDlg::CGangflashDlg(IView& view, IDispatcher& dispatcher, const Services& services)
    : m_view(view), m_dispatcher(dispatcher), m_services(services) {}

CGangflashDlg::~CGangflashDlg() { StopAllJobs(); }

void CGangflashDlg::StopAllJobs() {
    std::vector<std::shared_ptr<CDownloadProc>> jobs = m_retiredJobs;
    for (auto& j : m_pDownloadProc) {
        if (j) jobs.push_back(j);
    }
    for (auto& j : jobs) {
        if (!j->IsDone()) j->RequestStop();
    }
    // A job may be blocked in a send to this thread: keep serving until all end.
    for (auto& j : jobs) {
        while (!j->WaitDone(std::chrono::milliseconds(10))) m_dispatcher.RunPending();
    }
}

void CGangflashDlg::AttachPackage(CPackageLoader* loader) {
    m_pPackage = loader;
    auto sync = [this] {
        m_strRawProgramPath = m_pPackage->m_strRawProgramPath;
        m_strPatchPath = m_pPackage->m_strPatchPath;
        m_strProgrammerPath = m_pPackage->m_strProgrammerPath;
        m_strPackageDir = m_pPackage->m_strPackageDir;
    };
    m_restorePackage = [this, sync] {
        m_pPackage->RestoreLastPackage();
        sync();
    };
    m_loadXml = [this, sync] {
        m_pPackage->OnLoadXml();
        sync();
    };
}

// --- Window messages ---

void CGangflashDlg::OnSlotStateMessage(int statusId, int state) {
    const int slot = statusId - kStatusId;
    if (slot < 0 || slot >= 8) return;  // not one of our status texts
    m_nSlotState[slot] = state;
    const SlotColours colours = ColoursOfState(state);
    switch (state) {
        case kSlotFailed:
        case kSlotPassed:
            m_view.KillTimer(slot);
            m_view.SetTextColor(statusId, colours.text);
            m_view.SetBkColor(statusId, colours.background);
            m_view.Invalidate(statusId, true);
            break;
        case kSlotIdle:
        case kSlotReady:
            m_view.SetText(kElapsedId + slot, "0s");
            m_view.SetText(kPercentId + slot, "0%");
            m_view.SetProgressPos(kProgressId + slot, 0);
            m_view.SetTextColor(statusId, colours.text);
            m_view.SetBkColor(statusId, colours.background);
            if (state == kSlotReady) m_view.SetText(statusId, "READY");
            m_view.Invalidate(statusId, true);
            m_view.EnableControl(kStartButtonId + slot, state == kSlotReady);
            break;
        case kSlotWorking:
            m_view.SetTextColor(statusId, colours.text);
            m_view.SetBkColor(statusId, colours.background);
            m_view.Invalidate(statusId, true);
            m_view.EnableControl(kStartButtonId + slot, false);
            break;
        default:
            break;
    }
    if (m_onSlotState) m_onSlotState(slot, state);
}

void CGangflashDlg::OnNewPortMessage(int slot, const char* port) {
    if (slot < 0 || slot >= 8) return;
    m_strSlotPort[slot] = port != nullptr ? port : "";
}

// --- Commands ---

void CGangflashDlg::OnCommand(int id) {
    if (id >= kStartButtonId && id < kStartButtonId + 8) {
        StartSlot(id - kStartButtonId);
    } else if (id == kStartAllId) {
        for (int slot = 0; slot < 8; ++slot) StartSlot(slot);
    } else if (id == kRefreshId) {
        RefreshPorts();
    } else if (id == kLoadXmlId) {
        if (m_loadXml) m_loadXml();
    }
}

std::string CGangflashDlg::ComboText(int slot) { return m_view.GetText(kPortComboId + slot); }

bool CGangflashDlg::SlotBusy(int slot) const {
    // A started job counts as working before its first report arrives, so a
    // second press of Start cannot start a second job on the same device.
    const auto& job = m_pDownloadProc[slot];
    return m_nSlotState[slot] == kSlotWorking ||
           (job && !job->IsDone() && !job->IsStopRequested());
}

std::string CGangflashDlg::FormatTimestamp() {
    std::tm tm = m_services.clock->LocalTime();
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, "%Y_%m_%d_%H%M%S", &tm);
    return std::string(buf, n);
}

void CGangflashDlg::StartSlot(int slot) {
    if (slot < 0 || slot >= 8) return;
    if (m_bEmergDL == 0 && slot >= 1) return;

    IProfile& profile = *m_services.profile;
    m_nOverTimeSeconds = profile.GetInt(kSettingsFile, kSettingsSection, "nOverTimeSeconds", 3600);
    m_bErase = static_cast<std::int32_t>(profile.GetInt(kSettingsFile, kSettingsSection, "bErase", 0));
    m_bReset = static_cast<std::int32_t>(profile.GetInt(kSettingsFile, kSettingsSection, "bReset", 0));
    m_bBackupAndRestoreQCN = static_cast<std::int32_t>(
        profile.GetInt(kSettingsFile, kSettingsSection, "bBackupAndRestoreQCN", 0));

    const bool busy = SlotBusy(slot);
    // A slot that is flashing keeps its status-board keys: resetting them would
    // switch its stall supervision off.
    if (m_nDownloadTimeout != 0 && !busy) {
        const std::string key = StatusBoardKey(slot);
        profile.WriteString(kStatusBoardPath, kBoardProcSection, key, "");
        profile.WriteString(kStatusBoardPath, kBoardLogSection, key, "XXXX");
    }

    if (m_nSlotState[slot] != kSlotReady || busy) return;
    if (m_strProgrammerPath.empty() || m_strRawProgramPath.empty() || m_strPatchPath.empty()) {
        return;
    }
    const std::string label = ComboText(slot);
    if (label.size() <= 3) return;

    if (m_pDownloadProc[slot]) m_retiredJobs.push_back(m_pDownloadProc[slot]);
    auto job = std::make_shared<CDownloadProc>();
    m_pDownloadProc[slot] = job;

    job->m_services = m_services;
    job->m_portMapping.SetTree(m_services.devices);
    job->m_nPort = label.size() > 8 ? std::atoi(label.c_str() + 8) : 0;
    job->m_nPortType = label.find("DIAG_COM") != std::string::npos ? 1 : 2;
    job->m_nSlot = slot;
    job->m_pOwnerWnd = this;
    job->m_nStatusId = kStatusId + slot;
    job->m_nProgressId = kProgressId + slot;
    job->m_nPercentId = kPercentId + slot;
    job->m_strRawProgram = AfterLastSeparator(m_strRawProgramPath);
    job->m_strPatch = AfterLastSeparator(m_strPatchPath);
    job->m_strProgrammer = m_strProgrammerPath;
    job->m_strPackageDir = m_strPackageDir;
    job->m_bErase = m_bErase;
    job->m_bReset = m_bReset;
    job->m_bBackupAndRestoreQCN = m_bBackupAndRestoreQCN;
    job->m_nDownloadTimeout = m_nDownloadTimeout;
    job->m_strLogPath = m_szLogDir + "/ORVA_Gangflash_" + label + "(" + FormatTimestamp() + ").log";

    if (m_onJobCreated) m_onJobCreated(*job);
    job->CreateThread();
    m_nTimerCount[slot] = 0;
    m_view.SetTimer(slot, 1000);
}

// --- Supervision timer ---

void CGangflashDlg::ReportTimerFailure(int slot, const std::string& message) {
    auto& job = m_pDownloadProc[slot];
    OnSlotStateMessage(job->m_nStatusId, kSlotFailed);
    m_view.SetText(job->m_nStatusId, job->DisplayText(message));
    m_view.RedrawNow(job->m_nStatusId);
    job->WriteTimerLog(FormatTimestamp() + " ****STATUS_TEXT:\t" + message + "\r\n");
}

void CGangflashDlg::OnTimerSlot(int slot) {
    if (slot < 0 || slot >= 8) return;
    auto job = m_pDownloadProc[slot];
    m_nTimerCount[slot] += 1;
    m_view.SetText(kElapsedId + slot, std::to_string(m_nTimerCount[slot]) + "s");
    if (!job) return;

    const std::string sahara = "sahara" + std::to_string(slot);
    const std::string firehorse = "firehorse" + std::to_string(slot);

    if (m_nTimerCount[slot] > m_nOverTimeSeconds) {
        job->RequestStop();
        ReportTimerFailure(slot,
                           "Download OverTime!m_nOverTimeSeconds:" + std::to_string(m_nOverTimeSeconds));
        // The slot's tools go too: one left running would keep writing to a
        // device whose slot already shows failed.
        KillProcessByName(sahara);
        KillProcessByName(firehorse);
    }

    if (m_nDownloadTimeout != 0 && m_nTimerCount[slot] % m_nDownloadTimeout == 0) {
        IProfile& profile = *m_services.profile;
        const std::string key = StatusBoardKey(slot);
        if (profile.GetString(kStatusBoardPath, kBoardProcSection, key, "") != kBoardDownloadStart) {
            return;
        }
        std::string linesLog = profile.GetString(kStatusBoardPath, kBoardLogSection, key, "");
        if (linesLog != m_strLastLinesLog[slot]) {
            m_strLastLinesLog[slot] = std::move(linesLog);
            return;
        }
        job->RequestStop();
        KillProcessByName(sahara);
        KillProcessByName(firehorse);
        ReportTimerFailure(slot, "Download protocal timeout.");
    }
}

// --- Start-up ---

void CGangflashDlg::EndDialog(int result) {
    m_bEnded = true;
    m_view.EndDialog(result);
}

bool CGangflashDlg::OnInitDialog() {
    if (m_pPackage != nullptr) m_pPackage->SetUpFileList();
    for (int slot = 0; slot < 8; ++slot) OnSlotStateMessage(kStatusId + slot, kSlotIdle);
    if (m_restorePackage) m_restorePackage();

    IProfile& profile = *m_services.profile;
    m_nDownloadTimeout = profile.GetInt(kSettingsFile, kSettingsSection, "nDownloadTimeout", 0);
    if (m_nDownloadTimeout >= 1 && m_nDownloadTimeout <= 19) {
        m_view.MessageBox("nDownloadTimeout的配置至少为20秒", "Error", MB_ICONINFORMATION);
        EndDialog(0);
        return true;
    }
    m_bEmergDL = static_cast<std::int32_t>(profile.GetInt(kSettingsFile, kSettingsSection, "bEmergDL", 1));
    if (profile.GetInt(kSettingsFile, kSettingsSection, "bAutoAll", 0) != 0) {
        m_view.SetCheck(kAutoAllId, true);
    }

    std::error_code ec;
    m_szLogDir = (fs::current_path(ec) / "Log").string();
    if (!fs::exists(m_szLogDir, ec)) fs::create_directory(m_szLogDir, ec);

    if (!PrepareLoaderCopies()) {
        m_services.clock->Sleep(2000);
        if (!PrepareLoaderCopies()) {
            m_view.MessageBox("Cann't create directory or copy files.", "Error", MB_ICONEXCLAMATION);
            EndDialog(0);
        }
    }
    if (IsProcessRunning("QPSTServer.exe")) {
        m_view.MessageBox("QPST is running. You need to close the QPST server.", "Error",
                          MB_ICONEXCLAMATION);
        EndDialog(0);
    }
    if (!m_bEnded && IsProcessRunning("ModemManager")) {
        m_view.MessageBox(
            "ModemManager is running. It may open the devices' serial ports and disturb "
            "flashing.\nInstall the udev rules shipped with Gangflash (they tell ModemManager to "
            "ignore these ports) or stop it with: systemctl stop ModemManager",
            "Warning", MB_ICONEXCLAMATION);
    }
    RefreshPorts();
    return true;
}

bool CGangflashDlg::PrepareLoaderCopies() {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    const char* tools[] = {"sahara", "firehorse"};
    for (int slot = 0; slot < 8; ++slot) {
        const fs::path dir = m_services.workRoot + "DL" + std::to_string(slot) + "/";
        fs::create_directories(dir, ec);
        if (!fs::is_directory(dir, ec)) return false;
        for (const char* tool : tools) {
            const std::string name = tool + std::to_string(slot);
            KillProcessByName(name);
            // Copy beside the target and rename over it, so a copy that is
            // still mapped by a dying process cannot block the update.
            const fs::path target = dir / name;
            const fs::path temp = dir / (name + ".new");
            if (!fs::copy_file(cwd / tool, temp, fs::copy_options::overwrite_existing, ec)) {
                return false;
            }
            fs::permissions(temp, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                            fs::perm_options::add, ec);
            fs::rename(temp, target, ec);
            if (ec || !fs::exists(target, ec)) return false;
        }
    }
    return true;
}

bool CGangflashDlg::IsProcessRunning(const std::string& name) {
    return m_services.processes != nullptr && m_services.processes->IsProcessRunning(name);
}

void CGangflashDlg::KillProcessByName(const std::string& name) {
    if (m_services.processes != nullptr && m_services.processes->KillProcessByName(name)) {
        m_services.clock->Sleep(300);
    }
}

// --- Port scan ---

int CGangflashDlg::ScanPorts() {
    m_nPortCount = 0;
    m_listPorts.clear();
    std::vector<SSerInfo> ports;
    if (m_services.devices != nullptr) ListSerialPorts(*m_services.devices, ports);
    for (const SSerInfo& info : ports) {
        const std::string name = Upper(info.strFriendlyName);
        if (m_bEmergDL == 0) {
            if (name.find("DIAG") != std::string::npos) {
                m_listPorts.push_front("DIAG_" + PortNameOfFriendlyName(name));
                ++m_nPortCount;
            }
            if (name.find("QDLOADER") != std::string::npos) {
                const std::string port = PortNameOfFriendlyName(name);
                for (int slot = 0; slot < 8; ++slot) {
                    const std::string text = ComboText(slot);
                    if (text.size() >= 5 && port == m_strSlotPort[slot]) {
                        m_listPorts.push_front(text);
                        ++m_nPortCount;
                    }
                }
            }
        } else if (name.find("QDLOADER") != std::string::npos) {
            m_listPorts.push_front("LOAD_" + PortNameOfFriendlyName(name));
            ++m_nPortCount;
        }
    }
    return m_nPortCount;
}

void CGangflashDlg::RefreshPorts() {
    const int n = ScanPorts();
    if (n <= 0) {
        for (int slot = 0; slot < 8; ++slot) {
            if (m_nSlotState[slot] != kSlotWorking) OnSlotStateMessage(kStatusId + slot, kSlotIdle);
        }
        return;
    }
    std::array<std::string, 8> labels;
    for (int slot = 0; slot < 8; ++slot) {
        std::string text = ComboText(slot);
        if (text.size() > 3) {
            labels[slot] = std::move(text);
        } else if (m_nSlotState[slot] != kSlotWorking) {
            OnSlotStateMessage(kStatusId + slot, kSlotIdle);
        }
    }
    // Keep present slots. This runs whether or not a slot is empty, so that a
    // full station still notices devices that left and came back.
    for (int slot = 0; slot < 8; ++slot) {
        if (labels[slot].empty()) continue;
        auto it = std::find(m_listPorts.begin(), m_listPorts.end(), labels[slot]);
        if (it != m_listPorts.end()) {
            m_listPorts.erase(it);
            if (m_nSlotState[slot] == kSlotIdle) {
                OnSlotStateMessage(kStatusId + slot, kSlotReady);
                if (m_view.IsChecked(kAutoAllId)) StartSlot(slot);
            }
        } else if (m_nSlotState[slot] != kSlotWorking) {
            OnSlotStateMessage(kStatusId + slot, kSlotIdle);
        }
    }
    // Give new ports to empty slots, earliest found first.
    for (int slot = 0; slot < 8 && !m_listPorts.empty(); ++slot) {
        if (!labels[slot].empty()) continue;
        const std::string entry = m_listPorts.back();
        m_view.ComboResetContent(kPortComboId + slot);
        m_view.ComboAddString(kPortComboId + slot, entry);
        m_view.ComboSetCurSel(kPortComboId + slot, 0);
        m_listPorts.pop_back();
        if (m_nSlotState[slot] != kSlotWorking) {
            OnSlotStateMessage(kStatusId + slot, kSlotReady);
            if (m_view.IsChecked(kAutoAllId)) StartSlot(slot);
        }
    }
}

}  // namespace gf
