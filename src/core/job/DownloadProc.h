#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "job/LogFile.h"
#include "platform/Services.h"
#include "platform/StopSignal.h"
#include "ports/PortMapping.h"

namespace gf {

class IJobOwner;

using QmslHandle = void*;

// One flashing job: the record that carries everything the job needs and the
// worker thread that runs it. The controller fills it on the UI thread, then
// calls CreateThread; from then on it belongs to its thread. Shared ownership
// keeps it alive for the supervision timer after the run has ended.
class CDownloadProc : public std::enable_shared_from_this<CDownloadProc> {
public:
    CDownloadProc();
    virtual ~CDownloadProc();
    CDownloadProc(const CDownloadProc&) = delete;
    CDownloadProc& operator=(const CDownloadProc&) = delete;

    // Thread life, in the order the thread runs them.
    virtual bool InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    // Starts the worker thread (running at once). Call once, after filling.
    void CreateThread();
    // Waits until the thread has finished; false on timeout.
    bool WaitDone(std::chrono::milliseconds timeout);
    bool IsDone() const { return m_bDone.load(); }

    // The supervision timer's stop: from now on the job makes no report, no log
    // write and no control change; its waits end at once. UI thread.
    void RequestStop();
    bool IsStopRequested() const { return m_bStopped.load(); }
    StopSignal& Stop() { return m_stop; }
    // The timer's own failed line, written after RequestStop. UI thread.
    void WriteTimerLog(const std::string& line);

    // Reporting (job thread).
    void ShowStatus(int state, const std::string& message);
    void SetPercent(int percent);
    bool WriteLog(const char* data, std::size_t length);
    bool WriteLog(const std::string& text) { return WriteLog(text.data(), text.size()); }
    std::string FormatTimestamp();
    bool ReportNewPort(int port);
    // The text the status control shows for `message`: a tool command line that
    // begins with the slot's working directory is shown without it.
    std::string DisplayText(const std::string& message) const;
    // The slot's working directory, "<root>DL<n>/".
    std::string WorkDir() const;

    // The stage procedure; its steps are in FlashProcedure.cpp.
    virtual void DownloadProc();
    // Tests replace the procedure with their own.
    std::function<void(CDownloadProc&)> m_procedureOverride;

    // The diagnostic path's five points of DownloadProc (DiagnosticPath.cpp).
    // Each returns false when the job must end; the step has reported why.
    bool DiagPointA();                       // record the DIAG port's USB location
    bool DiagPointB();                       // NV backup
    bool DiagPointC(int& downloadPort);      // EDL switch and hand-over
    bool DiagPointD();                       // NV restore
    void DiagPointE();                       // close the diag connection

    // The loader stage (LoaderStage.cpp): Sahara once, fh_loader three times,
    // on the download port `port`; false as soon as one run failed.
    bool RunLoaderStage(int port);
    // The device node of COM port `port`, or "\\.\COM<port>" when no present
    // port has that number.
    std::string PortName(int port);
    // Runs one loader tool in the slot's working directory and parses its
    // output (ToolRunner.cpp); false when the run failed, having said why.
    bool RunTool(const std::string& commandLine);
    // Examines one output line (ending in its carriage return); may set
    // `done`; false only for a line with "ERROR:".
    bool ParseToolLine(const std::string& line, bool& done);
    // Ends the first process of that name; no pause follows.
    bool KillProcessByName(const std::string& name);
    // Shows an unexpected error's text in the application's message box.
    void ShowErrorBox(const std::string& text);
    std::size_t m_nLineLen = 0;  // bytes in m_szLineBuf

    // Writes a status-board value when the status board is on.
    void WriteBoard(const char* section, const std::string& value);

    // --- Record (filled by the controller before the thread starts) ---
    LogFile m_fileLog;
    char m_szLineBuf[260];
    CPortMapping m_portMapping;
    char m_szPhysicalPortAddress[64];
    std::int32_t m_nSlot = 0;
    IJobOwner* m_pOwnerWnd = nullptr;
    std::int32_t m_nStatusId = 0;
    std::int32_t m_nProgressId = 0;
    std::int32_t m_nPercentId = 0;
    std::int32_t m_nPort = 0;
    std::int32_t m_nPortType = 0;
    QmslHandle m_hQmsl = nullptr;
    std::string m_strLogPath;
    std::string m_strRawProgram;
    std::string m_strPatch;
    std::string m_strProgrammer;
    std::string m_strPackageDir;
    std::string m_strPercent;
    std::string m_strQcnPath;
    std::int32_t m_bErase = 0;
    std::int32_t m_bReset = 0;
    std::int32_t m_bBackupAndRestoreQCN = 0;
    std::uint32_t m_nDownloadTimeout = 0;

    // Platform of this job (the controller's).
    Services m_services;

private:
    // Runs `fn` on the UI thread unless the job was stopped meanwhile.
    void SendToOwner(const std::function<void(IJobOwner&)>& fn);
    void ThreadMain();

    StopSignal m_stop;
    std::atomic<bool> m_bStopped{false};
    std::mutex m_logMutex;            // m_fileLog is written by the job and the timer
    std::string m_strLastHeartbeat;   // heartbeat value this job stored last
    std::atomic<bool> m_bDone{false};
    std::mutex m_doneMutex;
    std::condition_variable m_doneCv;
};

// The application's name: caption of the framework's own message boxes.
inline constexpr const char* kAppName = "gangflash";

}  // namespace gf
