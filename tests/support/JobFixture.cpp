#include "JobFixture.h"

#include <filesystem>
#include <stdexcept>

#include "job/JobOwner.h"
#include "job/StatusBoard.h"

namespace gf::test {

JobFixture::JobFixture() {
    services.clock = &clock;
    services.profile = &profile;
    services.workRoot = cwd.path() + "/work/";
    std::filesystem::create_directories("Log");
}

std::shared_ptr<CDownloadProc> JobFixture::MakeJob(int slot, const std::string& logName) {
    auto job = std::make_shared<CDownloadProc>();
    job->m_services = services;
    job->m_nSlot = slot;
    job->m_pOwnerWnd = &owner;
    job->m_nStatusId = kStatusId + slot;
    job->m_nProgressId = kProgressId + slot;
    job->m_nPercentId = kPercentId + slot;
    job->m_strLogPath = cwd.path() + "/Log/" + logName;
    return job;
}

void JobFixture::RunToEnd(const std::shared_ptr<CDownloadProc>& job) {
    job->CreateThread();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!job->IsDone()) {
        owner.dispatcher.WaitAndRun(std::chrono::milliseconds(5));
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("job hangs");
    }
    owner.dispatcher.RunPending();
}

std::string JobFixture::Board(const std::string& section, int slot) {
    return profile.GetString(kStatusBoardPath, section, StatusBoardKey(slot), "<none>");
}

}  // namespace gf::test
