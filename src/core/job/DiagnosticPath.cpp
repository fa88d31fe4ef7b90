#include <cstdio>
#include <filesystem>

#include "diag/DiagConnection.h"
#include "diag/QcnOperation.h"
#include "diag/QmslTable.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "ports/PortHandover.h"

namespace gf {

namespace {

bool QcnFileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

// A download-port job returns at once: there is no DIAG port to locate.
bool CDownloadProc::DiagPointA() {
    return RecordPhysicalPortAddress(*this);
}

bool CDownloadProc::DiagPointB() {
    if (!WaitPortReady(*this, 10)) return false;
    m_strQcnPath = QcnPath(m_nPort);
    ShowStatus(kSlotWorking, m_strQcnPath);
    // A backup left by an earlier job on this port is never reused.
    if (QcnFileExists(m_strQcnPath)) std::remove(m_strQcnPath.c_str());
    return RunQcnOperation(*this, kQcnBackup);
}

bool CDownloadProc::DiagPointC(int& downloadPort) {
    if (!WaitPortReady(*this, 1)) return false;
    // A refused switch has shown its failure; whether the device turns up in
    // download mode all the same is for the port search to tell.
    SwitchToEDL(*this);
    int newPort = 0;
    if (!FindPortAfterEDL(*this, newPort)) return false;
    ReportNewPort(newPort);
    // m_nPort keeps the DIAG port: the restore waits for it to return.
    downloadPort = newPort;
    return true;
}

bool CDownloadProc::DiagPointD() {
    ShowStatus(kSlotWorking, "Wating for diag port is ready.");
    if (!WaitDiagPortBeforeRestore(*this)) return false;
    m_strQcnPath = QcnPath(m_nPort);
    ShowStatus(kSlotWorking, m_strQcnPath);
    if (!QcnFileExists(m_strQcnPath)) {
        ShowStatus(kSlotFailed, "QCN file doesn't exist");
        return false;
    }
    return RunQcnOperation(*this, kQcnRestore);
}

void CDownloadProc::DiagPointE() {
    if (m_hQmsl == nullptr || m_services.qmsl == nullptr) return;
    m_services.qmsl->DisconnectServer(m_hQmsl);
    m_hQmsl = nullptr;
}

}  // namespace gf
