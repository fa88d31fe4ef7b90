// The station program: the Qt window when a display is present, the terminal
// front-end otherwise (or with --headless); a simulated bench with --simulate;
// and the support commands --list-ports and --make-sample-package.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "DeviceMonitor.h"
#include "InstanceLock.h"
#include "ProcessLauncher.h"
#include "ProcessTable.h"
#include "ProfileFile.h"
#include "RealClock.h"
#include "SimBench.h"
#include "SimWiring.h"
#include "SysfsDeviceTree.h"
#include "TermPackageView.h"
#include "TermStation.h"
#include "TermView.h"
#include "UserStoreFile.h"
#include "app/GangflashApp.h"
#include "app/GangflashDlg.h"
#include "diag/QmslLoader.h"
#include "package/PackageLoader.h"
#include "platform/Services.h"
#include "ports/ListPortsReport.h"
#include "util/QueueDispatcher.h"

#ifdef GANGFLASH_HAVE_GUI
#include "gui/GuiMain.h"
#include "gui/StationWindow.h"
#endif

namespace fs = std::filesystem;
using namespace gf;

namespace {

struct Options {
    bool headless = false;
    std::string simulate;
    std::string package;
    bool autoAll = false;
    bool exitWhenIdle = false;
    bool assumeYes = false;
    bool listPorts = false;
    std::string sysfsRoot = "/sys";
    std::string samplePackage;
    std::string screenshot;
    double screenshotAfter = 20;
    std::string workRoot;
};

std::string DefaultWorkRoot() {
    if (const char* env = std::getenv("GANGFLASH_WORK_ROOT"); env != nullptr && *env != '\0') {
        std::string root = env;
        return root.back() == '/' ? root : root + "/";
    }
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && *run != '\0') {
        return std::string(run) + "/gangflash/";
    }
    return "/tmp/gangflash-" + std::to_string(::getuid()) + "/";
}

// Directory of this executable, where the diag library is installed beside it.
std::string ExecutableDir() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

std::string FindQmsl() {
    for (const fs::path& p : {fs::path(ExecutableDir()) / "libqmsl.so",
                              fs::path(ExecutableDir()) / "tools/qmsl/libqmsl.so",
                              fs::path(ExecutableDir()) / "../lib/gangflash/libqmsl.so"}) {
        if (fs::exists(p)) return p.string();
    }
    return "libqmsl.so";
}

// Everything the station runs on: the platform backends, real or simulated.
struct Platform {
    RealClock clock;
    ProfileFile profile;
    ProcessLauncher launcher;
    ProcessTable processes;
    UserStoreFile userStore{UserStoreFile::DefaultPath()};
    std::unique_ptr<sim::SimBench> bench;
    std::unique_ptr<SysfsDeviceTree> sysfs;
    std::unique_ptr<DeviceMonitor> monitor;
    QmslLoader qmsl;
    Services services;
    IDeviceChangeSource* changes = nullptr;

    bool Init(const Options& o, std::string& error) {
        services.clock = &clock;
        services.profile = &profile;
        services.launcher = &launcher;
        services.processes = &processes;
        services.userStore = &userStore;
        services.workRoot = o.workRoot.empty() ? DefaultWorkRoot() : o.workRoot;
        if (services.workRoot.back() != '/') services.workRoot += '/';
        if (!o.simulate.empty()) {
            sim::BenchConfig config;
            if (!sim::ParseSimulateArgument(o.simulate, 64, config.count, config.knobs, error)) {
                return false;
            }
            config.dir = services.workRoot + "sim";
            config.servers = sim::MakeModeServers();
            bench = std::make_unique<sim::SimBench>(std::move(config));
            if (!bench->Start(error)) return false;
            services.devices = bench.get();
            changes = bench.get();
        } else {
            sysfs = std::make_unique<SysfsDeviceTree>(o.sysfsRoot);
            monitor = std::make_unique<DeviceMonitor>();
            services.devices = sysfs.get();
            changes = monitor.get();
        }
        std::string qmslError;
        if (qmsl.Load(FindQmsl(), services.devices, qmslError)) services.qmsl = qmsl.Table();
        return true;
    }
};

int RunTerminal(Platform& platform, const Options& o) {
    const bool interactive = ::isatty(STDOUT_FILENO) && ::isatty(STDIN_FILENO) && !o.exitWhenIdle;
    TermView view(std::cout, interactive, ::isatty(STDOUT_FILENO) != 0);
    view.SetAssumeYes(o.assumeYes);
    InstanceLock lock;
    CGangflashApp app(lock);
    if (!app.InitInstance(view)) return 1;

    QueueDispatcher dispatcher;
    TermPackageView files(std::cout, interactive);
    CPackageLoader package(view, files, platform.services.userStore);
    CGangflashDlg dlg(view, dispatcher, platform.services);
    dlg.AttachPackage(&package);
    if (!o.package.empty()) {
        // The package named on the command line goes through the LoadXML lock
        // like an operator's choice; otherwise the remembered one is reopened.
        dlg.m_restorePackage = [&dlg, &files, &o] {
            files.SetChosenFile(fs::absolute(o.package).string());
            dlg.OnCommand(kLoadXmlId);
        };
    }
    TermOptions options;
    options.interactive = interactive;
    options.autoAll = o.autoAll;
    options.exitWhenIdle = o.exitWhenIdle;
    TermStation station(view, dispatcher, dlg, platform.changes, options);
    int status = station.Run();
    std::cout << "\n" << station.Summary() << std::flush;
    if (view.Ended()) status = 1;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Gangflash V2.1: flashes firmware packages into up to eight devices at once"};
    cli.allow_extras();
    Options o;
    cli.add_flag("--headless", o.headless, "Run in the terminal even when a display is present");
    cli.add_option("--simulate", o.simulate, "Simulated bench: N[,knobs] (see gangflash-sim --help)");
    cli.add_option("--package", o.package, "rawprogram XML to load at start (password from "
                                           "GANGFLASH_PASSWORD or asked)");
    cli.add_flag("--auto-all", o.autoAll, "Check AutoAll: start every slot when it becomes ready");
    cli.add_flag("--exit-when-idle", o.exitWhenIdle,
                 "End once every started slot has passed or failed; exit 0 only if all passed");
    cli.add_flag("--assume-yes", o.assumeYes, "Answer Yes to questions nobody can answer");
    cli.add_flag("--list-ports", o.listPorts, "List the serial ports and their USB locations");
    cli.add_option("--sysfs-root", o.sysfsRoot, "sysfs to read devices from (default /sys)");
    cli.add_option("--make-sample-package", o.samplePackage, "Write a sample firmware package");
    cli.add_option("--screenshot", o.screenshot, "Render the window to a PNG and end");
    cli.add_option("--screenshot-after", o.screenshotAfter, "Seconds to run before the screenshot");
    cli.add_option("--work-root", o.workRoot, "Root of the per-slot working directories");
    bool version = false;
    cli.add_flag("--version", version, "Print the version");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    if (version) {
        std::puts("Gangflash 2.1.0.1");
        return 0;
    }
    if (o.listPorts) {
        SysfsDeviceTree tree(o.sysfsRoot);
        std::cout << FormatPortList(tree);
        return 0;
    }
    if (!o.samplePackage.empty()) {
        std::string error;
        if (!sim::MakeSamplePackage(o.samplePackage, error, sim::MakeProgrammerWriter())) {
            std::cerr << "gangflash: " << error << "\n";
            return 1;
        }
        std::cout << "sample package written to " << o.samplePackage << "\n";
        return 0;
    }

    Platform platform;
    std::string error;
    if (!platform.Init(o, error)) {
        std::cerr << "gangflash: " << error << "\n";
        return 2;
    }
#ifdef GANGFLASH_HAVE_GUI
    if ((!o.headless && GuiAvailable()) || !o.screenshot.empty()) {
        InstanceLock lock;
        GuiStationOptions gui;
        gui.autoAll = o.autoAll;
        gui.instanceLock = &lock;
        gui.screenshotPath = o.screenshot;
        gui.screenshotAfterMs = static_cast<int>(o.screenshotAfter * 1000);
        std::unique_ptr<CPackageLoader> package;
        if (!o.package.empty()) {
            // Scripted start of the window: the package is unlocked by the
            // password in the environment and reopened as the remembered one.
            const char* pw = std::getenv("GANGFLASH_PASSWORD");
            if (pw == nullptr || std::string(pw) != kLoadXmlPassword) {
                std::cerr << "gangflash: --package with the window needs GANGFLASH_PASSWORD\n";
                return 2;
            }
            platform.userStore.Set(kPackageStoreKey, kPackageStoreValue,
                                   fs::absolute(o.package).string());
        }
        gui.wire = [&](CGangflashDlg& dlg, CStationWindow& window) {
            package = std::make_unique<CPackageLoader>(window, window, platform.services.userStore);
            dlg.AttachPackage(package.get());
        };
        return RunGuiStation(argc, argv, platform.services, platform.changes, gui);
    }
#endif
    return RunTerminal(platform, o);
}
