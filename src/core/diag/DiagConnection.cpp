#include "diag/DiagConnection.h"

#include <cstdio>

#include "diag/QmslTable.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "job/JobTable.h"
#include "platform/Clock.h"

namespace gf {

namespace {

constexpr int kAnswerPolls = 5;
constexpr unsigned kPollIntervalMs = 200;
constexpr unsigned kAfterSwitchMs = 4000;

}  // namespace

void CloseDiagConnection(CDownloadProc& job) {
    if (job.m_hQmsl == nullptr || job.m_services.qmsl == nullptr) return;
    const QmslTable& q = *job.m_services.qmsl;
    q.StopLogging(job.m_hQmsl);
    q.DisconnectServer(job.m_hQmsl);
    job.m_hQmsl = nullptr;
}

bool ConnectDiag(CDownloadProc& job) {
    // A station whose diag library could not be loaded connects to nothing:
    // the job fails here as it would on a port that cannot be opened.
    const QmslTable* q = job.m_services.qmsl;
    CloseDiagConnection(job);

    QmslHandle handle = nullptr;
    if (q != nullptr) {
        q->SetLibraryMode(0);
        q->SetTargetType(0);
        handle = q->ConnectServer(static_cast<unsigned>(job.m_nPort));
    }
    job.m_hQmsl = handle;
    // The transfer callback finds the job by this handle.
    g_JobTable[job.m_nSlot].hQmsl.store(handle);

    if (q != nullptr) {
        q->ConfigureEfs2CallBacks(handle, &EfsFileCallback, &EfsDirCallback);
        unsigned char caps[4] = {0, 0, 0, 0};
        q->GetLibraryCapabilities(&caps[0], &caps[1], &caps[2], &caps[3]);
    }

    if (handle != nullptr) {
        job.ShowStatus(kSlotWorking, "ConnectServer: OK");
    } else {
        job.ShowStatus(kSlotFailed, "ConnectServer: FAIL");
    }

    bool answered = false;
    for (int poll = 0; poll < kAnswerPolls; ++poll) {
        if (q != nullptr && q->IsPhoneConnected(handle) != 0) {
            answered = true;
            break;
        }
        job.m_services.clock->Sleep(kPollIntervalMs, &job.Stop());
    }
    if (answered) {
        job.ShowStatus(kSlotWorking, "IsPhoneConnected: TRUE");
        return true;
    }
    char text[96];
    std::snprintf(text, sizeof text, "IsPhoneConnected: FALSE,PortNum:%d PortType:%d", job.m_nPort,
                  job.m_nPortType);
    job.ShowStatus(kSlotFailed, text);
    return false;
}

bool SwitchToEDL(CDownloadProc& job) {
    if (!ConnectDiag(job)) return false;
    const QmslTable& q = *job.m_services.qmsl;
    const bool accepted = q.QPHONEMS_SwitchToEDL(job.m_hQmsl) != 0;
    if (accepted) {
        job.ShowStatus(kSlotTextOnly, "Switch To EDL: OK");
    } else {
        job.ShowStatus(kSlotFailed, "QLIB_QPHONEMS_SwitchToEDL: FAIL");
    }
    // The device leaves the bus either way; the handle is of no further use.
    q.DisconnectServer(job.m_hQmsl);
    job.m_hQmsl = nullptr;
    job.m_services.clock->Sleep(kAfterSwitchMs, &job.Stop());
    return accepted;
}

}  // namespace gf
