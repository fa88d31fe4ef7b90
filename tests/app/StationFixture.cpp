#include "StationFixture.h"

#include <chrono>
#include <filesystem>

#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "job/StatusBoard.h"

namespace gf::test {

StationFixture::StationFixture(const std::string& settings) {
    std::filesystem::create_directories("Log");  // start-up makes it
    WriteFile("sahara", "#!/bin/sh\n");
    WriteFile("firehorse", "#!/bin/sh\n");
    if (!settings.empty()) Settings(settings);
    services.clock = &clock;
    services.profile = &profile;
    services.processes = &processes;
    services.devices = &ports;
    services.workRoot = cwd.path() + "/work/";
    dlg = std::make_unique<CGangflashDlg>(view, dispatcher, services);
    dlg->m_nSlotState.fill(kSlotIdle);  // as start-up leaves them
    procedure = [](CDownloadProc& job) {
        job.ShowStatus(kSlotWorking, "Enter DownloadProc Function...");
        while (!job.Stop().WaitFor(std::chrono::milliseconds(50))) {
        }
    };
    dlg->m_onJobCreated = [this](CDownloadProc& job) {
        job.m_procedureOverride = [this](CDownloadProc& j) { procedure(j); };
    };
}

StationFixture::~StationFixture() { dlg.reset(); }

void StationFixture::Settings(const std::string& body) {
    WriteFile("GangflashConfig.ini", "[SettingItems]\r\n" + body);
}

void StationFixture::SetPackage() {
    dlg->m_strRawProgramPath = cwd.path() + "/pkg/rawprogram0.xml";
    dlg->m_strPatchPath = cwd.path() + "/pkg/patch0.xml";
    dlg->m_strProgrammerPath = cwd.path() + "/pkg/prog_emmc_firehose.mbn";
    dlg->m_strPackageDir = cwd.path() + "/pkg/";
}

bool StationFixture::PumpUntil(const std::function<bool()>& pred) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        dispatcher.WaitAndRun(std::chrono::milliseconds(5));
    }
    return true;
}

std::string StationFixture::Board(const char* section, int slot) {
    return profile.GetString(kStatusBoardPath, section, StatusBoardKey(slot), "<none>");
}

}  // namespace gf::test
