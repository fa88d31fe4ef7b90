#include "job/DownloadProc.h"

#include <cstring>

#include "diag/DiagConnection.h"
#include "job/JobOwner.h"
#include "job/JobTable.h"
#include "job/StatusBoard.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/Profile.h"
#include "platform/View.h"

namespace gf {

CDownloadProc::CDownloadProc() {
    std::memset(m_szLineBuf, 0, sizeof m_szLineBuf);
    std::memset(m_szPhysicalPortAddress, 0, sizeof m_szPhysicalPortAddress);
}

CDownloadProc::~CDownloadProc() = default;

void CDownloadProc::CreateThread() {
    auto self = shared_from_this();
    std::thread([self] { self->ThreadMain(); }).detach();
}

void CDownloadProc::ThreadMain() {
    if (InitInstance()) {
        Run();
    } else {
        ExitInstance();
    }
    {
        std::lock_guard lock(m_doneMutex);
        m_bDone.store(true);
    }
    m_doneCv.notify_all();
}

bool CDownloadProc::WaitDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_doneMutex);
    return m_doneCv.wait_for(lock, timeout, [this] { return m_bDone.load(); });
}

bool CDownloadProc::InitInstance() {
    g_JobTable[m_nSlot].pJob.store(this);
    return true;
}

int CDownloadProc::Run() {
    {
        std::lock_guard lock(m_logMutex);
        m_fileLog.Open(m_strLogPath);
    }
    if (!m_fileLog.IsOpen()) {
        // The log cannot hold anything; tell the operator where it should have been.
        ShowStatus(kSlotWorking, "Can not open log file " + m_strLogPath);
    }
    DownloadProc();
    // A job that ended while holding a diag connection (a failed NV step, a
    // failed loader stage, a stop) lets go of it here.
    CloseDiagConnection(*this);
    std::string close = FormatTimestamp() + " ****STATUS_TEXT:\tCLOSE\r\n";
    WriteLog(close);
    {
        std::lock_guard lock(m_logMutex);
        // A job stopped by the timer leaves its log as the timer's line ended it.
        if (!m_bStopped.load()) m_fileLog.Close();
    }
    g_JobTable[m_nSlot].hQmsl.store(nullptr);
    g_JobTable[m_nSlot].pJob.store(nullptr);
    return 1;
}

int CDownloadProc::ExitInstance() {
    g_JobTable[m_nSlot].hQmsl.store(nullptr);
    g_JobTable[m_nSlot].pJob.store(nullptr);
    return 0;
}

void CDownloadProc::RequestStop() {
    {
        std::lock_guard lock(m_logMutex);
        m_bStopped.store(true);
    }
    m_stop.Request();
}

void CDownloadProc::WriteTimerLog(const std::string& line) {
    std::lock_guard lock(m_logMutex);
    if (!m_fileLog.IsOpen()) return;
    std::string error;
    m_fileLog.Append(line.data(), line.size(), error);
}

void CDownloadProc::SendToOwner(const std::function<void(IJobOwner&)>& fn) {
    if (m_bStopped.load() || m_pOwnerWnd == nullptr) return;
    IJobOwner* owner = m_pOwnerWnd;
    owner->Dispatcher().Send([this, owner, &fn] {
        // The timer may have stopped the job while this report waited its turn.
        if (!m_bStopped.load()) fn(*owner);
    });
}

std::string CDownloadProc::WorkDir() const {
    return m_services.workRoot + "DL" + std::to_string(m_nSlot) + "/";
}

std::string CDownloadProc::DisplayText(const std::string& message) const {
    const std::string prefix = WorkDir();
    if (message.size() > prefix.size() && message.compare(0, prefix.size(), prefix) == 0) {
        return message.substr(prefix.size());
    }
    return message;
}

void CDownloadProc::ShowStatus(int state, const std::string& message) {
    const std::string display = DisplayText(message);
    SendToOwner([&](IJobOwner& owner) {
        if (state >= kSlotFailed && state <= kSlotWorking) {
            owner.OnSlotStateMessage(m_nStatusId, state);
        }
        owner.View().SetText(m_nStatusId, display);
        owner.View().RedrawNow(m_nStatusId);
    });
    WriteLog(FormatTimestamp() + " ****STATUS_TEXT:\t" + message + "\r\n");
}

void CDownloadProc::SetPercent(int percent) {
    m_strPercent = std::to_string(percent) + "%";
    SendToOwner([&](IJobOwner& owner) {
        owner.View().SetProgressPos(m_nProgressId, percent);
        owner.View().SetText(m_nPercentId, m_strPercent);
    });
}

bool CDownloadProc::WriteLog(const char* data, std::size_t length) {
    std::string error;
    {
        std::lock_guard lock(m_logMutex);
        if (!m_fileLog.IsOpen() || m_bStopped.load()) return false;
        if (m_fileLog.Append(data, length, error)) {
            if (m_nDownloadTimeout != 0 && length > 0) {
                // One-second resolution: a value already stored needs no new write.
                std::string beat = FormatTimestamp() + ":Dload Process is running";
                if (beat != m_strLastHeartbeat && m_services.profile != nullptr) {
                    m_services.profile->WriteString(kStatusBoardPath, kBoardLogSection,
                                                    StatusBoardKey(m_nSlot), beat);
                    m_strLastHeartbeat = std::move(beat);
                }
            }
            return true;
        }
    }
    // Outside the lock: the operator's answer may take long, and the timer must
    // still be able to write its line meanwhile.
    std::string text = "Error writing " + m_strLogPath + ": " + error;
    if (text.size() > 254) text.resize(254);
    SendToOwner([&](IJobOwner& owner) { owner.View().MessageBox(text, kAppName, MB_OK); });
    return true;
}

void CDownloadProc::WriteBoard(const char* section, const std::string& value) {
    if (m_nDownloadTimeout == 0 || m_bStopped.load() || m_services.profile == nullptr) return;
    m_services.profile->WriteString(kStatusBoardPath, section, StatusBoardKey(m_nSlot), value);
}

std::string CDownloadProc::FormatTimestamp() {
    std::tm tm = m_services.clock->LocalTime();
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, "%Y_%m_%d_%H%M%S", &tm);
    return std::string(buf, n);
}

bool CDownloadProc::ReportNewPort(int port) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "COM%d", port);
    SendToOwner([&](IJobOwner& owner) { owner.OnNewPortMessage(m_nSlot, buf); });
    return true;
}

}  // namespace gf
