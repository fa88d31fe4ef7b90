#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "job/StatusBoard.h"
#include "job/ToolRunner.h"

namespace gf {

void CDownloadProc::DownloadProc() {
    if (m_procedureOverride) {
        m_procedureOverride(*this);
        return;
    }
    // A stopped job ends after the step it is in; its waits end at once.
    ShowStatus(kSlotWorking, "Enter DownloadProc Function...");
    if (IsStopRequested() || !DiagPointA() || IsStopRequested()) return;
    m_hQmsl = nullptr;
    if (m_bBackupAndRestoreQCN && (!DiagPointB() || IsStopRequested())) return;

    int downloadPort = m_nPort;
    if (m_nPortType == 1 && (!DiagPointC(downloadPort) || IsStopRequested())) return;

    WriteBoard(kBoardProcSection, kBoardDownloadStart);
    const bool loaded = RunLoaderStage(downloadPort);
    // The tools may still run after an error line or the Sahara marker.
    KillProcessByName(SaharaToolName(m_nSlot));
    KillProcessByName(FirehoseToolName(m_nSlot));
    if (!loaded || IsStopRequested()) return;

    WriteBoard(kBoardProcSection, kBoardDownloadEnd);
    if (m_bBackupAndRestoreQCN && (!DiagPointD() || IsStopRequested())) return;
    if (m_nPortType == 1) {
        DiagPointE();
        if (IsStopRequested()) return;
    }
    ShowStatus(kSlotPassed, "PASS");
    SetPercent(100);
}

}  // namespace gf
