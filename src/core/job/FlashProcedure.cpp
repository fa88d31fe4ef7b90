#include "job/DownloadProc.h"
#include "job/JobOwner.h"

namespace gf {

void CDownloadProc::DownloadProc() {
    if (m_procedureOverride) {
        m_procedureOverride(*this);
        return;
    }
    ShowStatus(kSlotWorking, "Enter DownloadProc Function...");
}

}  // namespace gf
