#include "job/JobTable.h"

#include <cstdint>
#include <cstdio>

namespace gf {

SJobTableEntry g_JobTable[kSlotCount];

std::string FormatTransferRecord(const std::string& timestamp, const char* srcName,
                                 const char* dstName, int operation, int subOption,
                                 int bytesTransferred, int fileSize, QmslHandle context) {
    char buf[1400];
    std::snprintf(buf, sizeof buf,
                  "--------%s---------\n"
                  "         SRC Name: %s\n"
                  "         DST Name: %s\n"
                  "        Operation: %d\n"
                  "       Sub Option: %d\n"
                  "Bytes Transferred: %d\n"
                  "        File Size: %d\n"
                  "          Context: %d\n",
                  timestamp.c_str(), srcName ? srcName : "", dstName ? dstName : "", operation,
                  subOption, bytesTransferred, fileSize,
                  static_cast<int>(reinterpret_cast<std::intptr_t>(context)));
    return buf;
}

bool EfsFileCallback(const char* srcName, const char* dstName, int operation, int subOption,
                     int bytesTransferred, int fileSize, QmslHandle context) {
    // No connection has a null handle; such a context belongs to no job.
    if (context == nullptr) return true;
    for (auto& entry : g_JobTable) {
        if (entry.hQmsl.load() != context) continue;
        CDownloadProc* job = entry.pJob.load();
        if (job == nullptr) continue;
        job->WriteLog(FormatTransferRecord(job->FormatTimestamp(), srcName, dstName, operation,
                                           subOption, bytesTransferred, fileSize, context));
    }
    return true;
}

bool EfsDirCallback(const char*, int, QmslHandle) { return true; }

}  // namespace gf
