#pragma once

#include <atomic>

#include "job/DownloadProc.h"

namespace gf {

// One slot's entry of the job table: the diag handle its job opened last and
// the job itself. Each field is written by its own job only.
struct SJobTableEntry {
    std::atomic<QmslHandle> hQmsl{nullptr};
    std::atomic<CDownloadProc*> pJob{nullptr};
};

inline constexpr int kSlotCount = 8;
extern SJobTableEntry g_JobTable[kSlotCount];

// The diag library's file-transfer callback: logs a transfer record into the log
// of every job whose handle equals `context`. Always true.
bool EfsFileCallback(const char* srcName, const char* dstName, int operation, int subOption,
                     int bytesTransferred, int fileSize, QmslHandle context);
// The directory callback: does nothing. Always true.
bool EfsDirCallback(const char* name, int operation, QmslHandle context);

// The eight-line transfer record for one callback.
std::string FormatTransferRecord(const std::string& timestamp, const char* srcName,
                                 const char* dstName, int operation, int subOption,
                                 int bytesTransferred, int fileSize, QmslHandle context);

}  // namespace gf
