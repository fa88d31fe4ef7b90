#pragma once

#include <memory>

#include "TempDir.h"
#include "TestOwner.h"
#include "VirtualClock.h"
#include "job/DownloadProc.h"
#include "platform/Services.h"
#include "ProfileFile.h"  // linux backend

namespace gf::test {

// A job for slot `slot` in a temporary station directory, with a virtual clock,
// the real profile files and a recording owner window.
struct JobFixture {
    ScopedTempCwd cwd;
    VirtualClock clock;
    ProfileFile profile;
    TestOwner owner;
    Services services;

    JobFixture();
    std::shared_ptr<CDownloadProc> MakeJob(int slot, const std::string& logName = "job.log");
    // Starts the job's thread and pumps the owner's dispatcher until it ends.
    void RunToEnd(const std::shared_ptr<CDownloadProc>& job);
    std::string Board(const std::string& section, int slot);
};

}  // namespace gf::test
