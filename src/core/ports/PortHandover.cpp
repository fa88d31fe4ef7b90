#include "ports/PortHandover.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/View.h"

namespace gf {

namespace {

constexpr unsigned kPollMs = 1000;
constexpr int kEdlAttempts = 10;
constexpr int kRestoreAttempts = 120;
constexpr int kRestoreExtraAttempts = 40;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

// One poll interval; false when the job was stopped meanwhile.
bool Pause(CDownloadProc& job) {
    return job.m_services.clock->Sleep(kPollMs, &job.Stop());
}

enum class Wait { Present, Absent, Stopped };

// Up to `attempts` checks of the DIAG port, each failure followed by a pause.
Wait PollDiagPort(CDownloadProc& job, const std::string& portName, std::uint32_t attempts) {
    for (std::uint32_t i = 0; i < attempts; ++i) {
        if (job.m_portMapping.IsDiagPortPresent(portName)) return Wait::Present;
        if (!Pause(job)) return Wait::Stopped;
    }
    return Wait::Absent;
}

void ReportNotReady(CDownloadProc& job) {
    job.ShowStatus(kSlotFailed,
                   Format("COM%d is not Ready,PortType:%d", job.m_nPort, job.m_nPortType));
}

// "12)" -> 12: leading '(' and trailing ')' removed, then the leading digits.
int PortNumberOf(const char* portText) {
    std::string text = portText;
    const std::size_t first = text.find_first_not_of('(');
    text = first == std::string::npos ? std::string() : text.substr(first);
    while (!text.empty() && text.back() == ')') text.pop_back();
    int number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        if (number > 100000000) break;  // more digits than any port number has
        number = number * 10 + (c - '0');
    }
    return number;
}

}  // namespace

bool RecordPhysicalPortAddress(CDownloadProc& job) {
    if (job.m_nPortType != 1) return true;
    char tag[16] = {};
    std::snprintf(tag, sizeof tag, "(COM%d)", job.m_nPort);
    MappingError error = {};
    const bool found =
        job.m_portMapping.GetPhysicalPortAddress(job.m_szPhysicalPortAddress, error, tag) ||
        job.m_portMapping.GetLocationPath(job.m_szPhysicalPortAddress, error, tag);
    if (found) {
        job.ShowStatus(kSlotWorking, Format("COM%d  %s", job.m_nPort, job.m_szPhysicalPortAddress));
        return true;
    }
    job.ShowStatus(kSlotFailed,
                   Format("Can not Get PhysicalPortAddress of COM%d,PortType:%d,Error:%s",
                          job.m_nPort, job.m_nPortType, error));
    return false;
}

bool WaitPortReady(CDownloadProc& job, std::uint32_t tries) {
    const std::string portName = Format("COM%d", job.m_nPort);
    switch (PollDiagPort(job, portName, tries)) {
        case Wait::Present:
            return true;
        case Wait::Stopped:
            return false;
        case Wait::Absent:
            break;
    }
    ReportNotReady(job);
    return false;
}

bool FindPortAfterEDL(CDownloadProc& job, int& newPort) {
    MappingError error = {};
    for (int attempt = 0; attempt < kEdlAttempts; ++attempt) {
        PortText portText = {};
        const bool found = job.m_portMapping.GetPortAfterPowerCycleByPhysicalAddress(
                               portText, error, job.m_szPhysicalPortAddress) ||
                           job.m_portMapping.GetPortAfterPowerCycleByLocationPath(
                               job.m_szPhysicalPortAddress, error, portText);
        if (found) {
            newPort = PortNumberOf(portText);
            job.ShowStatus(kSlotWorking, Format("COM%d AfterEDL COM%d", job.m_nPort, newPort));
            return true;
        }
        if (!Pause(job)) return false;
    }
    job.ShowStatus(kSlotFailed,
                   Format("Can not GetPortAfterPowerCycleByPhysicalAddress ,Error:%s", error));
    return false;
}

bool WaitDiagPortBeforeRestore(CDownloadProc& job) {
    const std::string portName = Format("COM%d", job.m_nPort);
    Wait wait = PollDiagPort(job, portName, kRestoreAttempts);
    if (wait == Wait::Present) return true;
    if (wait == Wait::Stopped || job.IsStopRequested()) return false;

    int answer = IDNO;
    if (job.m_pOwnerWnd != nullptr) {
        IJobOwner* owner = job.m_pOwnerWnd;
        owner->Dispatcher().Send([&] {
            answer = owner->View().MessageBox(
                "Please check the port(Diagnostic) is ready in the device manager.\n"
                "Click the YES button to continue\nor the NO button to quit Restore QCN.",
                "Error", MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
        });
    }
    // Stopped while the question was open: no further report.
    if (job.IsStopRequested()) return false;
    if (answer == IDYES) {
        wait = PollDiagPort(job, portName, kRestoreExtraAttempts);
        if (wait == Wait::Present) return true;
        if (wait == Wait::Stopped) return false;
    }
    ReportNotReady(job);
    return false;
}

}  // namespace gf
