#include "diag/QcnOperation.h"

#include <cstdio>
#include <cstring>

#include "diag/DiagConnection.h"
#include "diag/QmslTable.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"

namespace gf {

namespace {

// The default service programming code, sent as six digits without terminator.
constexpr char kDefaultSpc[] = "418276";
constexpr std::size_t kPathBufferSize = 260;

std::string WithCode(const char* format, int code) {
    char text[96];
    std::snprintf(text, sizeof text, format, code);
    return text;
}

}  // namespace

std::string QcnPath(int port) {
    char path[kPathBufferSize];
    std::snprintf(path, sizeof path, "Log/ORVA_Gangflash_COM%d.qcn", port);
    return path;
}

bool RunQcnOperation(CDownloadProc& job, int mode) {
    if (!ConnectDiag(job)) return false;
    const QmslTable& q = *job.m_services.qmsl;

    job.ShowStatus(kSlotWorking, std::string("Send default SPC ") + kDefaultSpc);
    unsigned char spc[6];
    std::memcpy(spc, kDefaultSpc, sizeof spc);
    unsigned char spcAnswer = 0;
    const bool exchanged = q.DIAG_SPC_F(job.m_hQmsl, spc, &spcAnswer) != 0;
    const int lineState = exchanged ? kSlotWorking : kSlotFailed;
    job.ShowStatus(lineState, std::string("Command Status: ") + (exchanged ? "OK" : "FAIL"));
    job.ShowStatus(lineState, std::string("SPC Status: ") + (spcAnswer != 0 ? "OK" : "FAIL"));
    // A refused code is not fatal: devices with another code still back up.
    if (!exchanged) return false;

    job.ShowStatus(kSlotWorking, "Set Target Support Multi SIM");
    if (q.NV_SetTargetSupportMultiSIM(job.m_hQmsl, 1) == 0) {
        job.ShowStatus(kSlotFailed, "Set Target Support MultiSIM failed");
        return false;
    }

    // The library may write into the path buffer; hand it a private copy.
    char path[kPathBufferSize] = {};
    std::snprintf(path, sizeof path, "%s", job.m_strQcnPath.c_str());
    int resultCode = 0;

    if (mode == kQcnBackup) {
        job.ShowStatus(kSlotWorking, "Backuping QCN...");
        job.ShowStatus(kSlotWorking, "Backup NV To QCN.....");
        if (q.BackupNVFromMobileToQCN(job.m_hQmsl, path, &resultCode) == 0) {
            job.ShowStatus(kSlotFailed,
                           WithCode("Failed Backup NV To QCN, ResultCode = %d", resultCode));
            return false;
        }
        job.ShowStatus(kSlotWorking, "Backuping QCN successfully");
        return true;
    }

    job.ShowStatus(kSlotWorking, "Restore QCN...");
    job.ShowStatus(kSlotWorking, "Load NVs From QCN......");
    int loaded = 0;
    if (q.NV_LoadNVsFromQCN(job.m_hQmsl, path, &loaded, &resultCode) == 0) {
        job.ShowStatus(kSlotFailed,
                       WithCode("Failed Load NVs From QCN, ResultCode = %d", resultCode));
        return false;
    }
    job.ShowStatus(kSlotWorking, "Write NVs To Mobile......");
    if (q.NV_WriteNVsToMobile(job.m_hQmsl, &resultCode) == 0) {
        job.ShowStatus(kSlotFailed,
                       WithCode("Failed Write NVs To Mobile, ResultCode = %d", resultCode));
        return false;
    }
    job.ShowStatus(kSlotWorking, "Restore QCN successfully");
    std::remove(job.m_strQcnPath.c_str());
    return true;
}

}  // namespace gf
