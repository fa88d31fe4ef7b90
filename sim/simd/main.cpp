// gangflash-sim: serves a simulated bench to other processes. It brings up the
// devices, publishes the bench in a description file (RemoteBenchTree reads
// it) and takes commands on standard input until a signal or "quit".

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "BenchDescription.h"
#include "SimBench.h"
#include "SimKnobs.h"
#include "SimWiring.h"

namespace {

const char* kUsage =
    "Usage: gangflash-sim [options] N[,knob...]\n"
    "Serves N simulated devices (pseudo-terminals) to a separate station or tool.\n"
    "\n"
    "Options:\n"
    "  --dir DIR        bench directory: storage files, COM database, description\n"
    "                   (default $XDG_RUNTIME_DIR/gangflash-sim, else /tmp/gangflash-sim-<uid>)\n"
    "  --describe FILE  description file (default DIR/bench.desc)\n"
    "  --com-db FILE    COM-number database (default DIR/comports.db)\n"
    "  --bus N          USB bus number of the bench's hub (default 1)\n"
    "  --quiet          no device log on standard error\n"
    "  -h, --help       this text\n"
    "\n"
    "Knobs: item[,item...], item = [dev<N>:]key[=value]; without dev<N>: every device.\n"
    "  mode=diag|download|absent   mode at power-on (default download)\n"
    "  serial=TEXT                 USB serial number (letters and digits)\n"
    "  socket=N                    hub port (default: the device number)\n"
    "  storage=SIZE                eMMC size (default 64M)\n"
    "  pid=HEX                     diagnostic composite product id (default 9091)\n"
    "  rate=SIZE                   download rate in bytes per second\n"
    "  stall=PCT                   stop answering at PCT percent of a transfer\n"
    "  nak=COMMAND                 NAK the Firehose COMMAND (program, patch, ...)\n"
    "  vanish=PCT                  leave the bus at PCT percent of a transfer\n"
    "  refuse-switch               ignore the switch to download mode\n"
    "  answer-at=N                 answer diagnostic polls from the N-th on\n"
    "  spc-refused=CODE            refuse this service programming code\n"
    "  no-return                   stay away after the power reset\n"
    "  return-socket=N             come back at hub port N after the power reset\n"
    "  return-mode=diag|download   mode after the power reset (default: the mode it\n"
    "                              was switched from)\n"
    "  SIZE: number with optional K, M or G (powers of 1024).\n"
    "  Example: gangflash-sim 8,rate=20M,dev2:stall=40,dev3:mode=diag\n"
    "\n"
    "Commands on standard input, one per line:\n"
    "  mode N diag|download|absent [SOCKET]   re-enumerate device N\n"
    "  unplug N                               same as mode N absent\n"
    "  list                                   one line per device\n"
    "  quit\n";

std::string DefaultDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/gangflash-sim";
    return "/tmp/gangflash-sim-" + std::to_string(::getuid());
}

std::string DeviceLine(const gf::sim::SimDeviceInfo& d) {
    std::ostringstream out;
    out << "dev" << d.number << " " << gf::sim::ModeName(d.mode) << " socket " << d.socket;
    if (d.mode != gf::sim::SimMode::Absent) out << " COM" << d.comNumber << " " << d.devicePath;
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = DefaultDir(), describe, comDb, benchText;
    int bus = 1;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::cerr << "gangflash-sim: " << a << " needs a value\n";
                std::exit(2);
            }
            out = argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--dir") {
            value(dir);
        } else if (a == "--describe") {
            value(describe);
        } else if (a == "--com-db") {
            value(comDb);
        } else if (a == "--bus") {
            std::string v;
            value(v);
            bus = std::atoi(v.c_str());
            if (bus < 1 || bus > 127) {
                std::cerr << "gangflash-sim: bad bus '" << v << "'\n";
                return 2;
            }
        } else if (a == "--quiet") {
            quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            std::cerr << "gangflash-sim: unknown option " << a << "\n" << kUsage;
            return 2;
        } else if (benchText.empty()) {
            benchText = a;
        } else {
            std::cerr << "gangflash-sim: more than one device count\n";
            return 2;
        }
    }
    if (benchText.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (describe.empty()) describe = dir + "/bench.desc";

    gf::sim::BenchConfig config;
    std::string error;
    if (!gf::sim::ParseSimulateArgument(benchText, 64, config.count, config.knobs, error)) {
        std::cerr << "gangflash-sim: " << error << "\n";
        return 2;
    }
    config.dir = dir;
    config.comDbPath = comDb;
    config.bus = bus;
    config.servers = gf::sim::MakeModeServers();
    std::mutex outMutex;
    if (!quiet) {
        config.log = [&outMutex](const std::string& line) {
            std::lock_guard lock(outMutex);
            std::cerr << line << "\n";
        };
    }

    // Signals are taken through a signalfd so that the main loop ends cleanly.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    int sigFd = ::signalfd(-1, &signals, SFD_CLOEXEC);

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(describe).parent_path(), ec);
    int lockFd = gf::sim::TakeDescriptionLock(describe, error);
    if (lockFd < 0) {
        std::cerr << "gangflash-sim: " << error << "\n";
        return 1;
    }
    gf::sim::SimBench bench(config);
    if (!bench.Start(error)) {
        std::cerr << "gangflash-sim: " << error << "\n";
        return 1;
    }
    std::mutex publishMutex;
    auto publish = [&] {
        std::lock_guard lock(publishMutex);
        gf::sim::BenchDescription d;
        d.ownerPid = static_cast<long>(::getpid());
        d.generation = bench.Generation();
        d.devices = bench.Devices();
        d.nodes = bench.Snapshot();
        std::string werror;
        if (!gf::sim::WriteBenchDescription(describe, d, werror)) {
            std::lock_guard out(outMutex);
            std::cerr << "gangflash-sim: " << werror << "\n";
        }
    };
    bench.SetListener(publish);
    publish();
    {
        std::lock_guard lock(outMutex);
        std::cout << "ready " << describe << std::endl;
        for (const auto& d : bench.Devices()) std::cout << DeviceLine(d) << "\n";
        std::cout << std::flush;
    }

    bool stdinOpen = true;
    std::string pending;
    for (bool quit = false; !quit;) {
        pollfd fds[2] = {{sigFd, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[0].revents & POLLIN) break;
        if (!(fds[1].revents & (POLLIN | POLLHUP))) continue;
        char buf[512];
        ssize_t n = ::read(0, buf, sizeof buf);
        if (n <= 0) {
            stdinOpen = false;
            continue;
        }
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::istringstream cmd(pending.substr(0, nl));
            pending.erase(0, nl + 1);
            std::string verb, modeText;
            int number = 0, socket = 0;
            cmd >> verb;
            std::string reply;
            if (verb == "quit") {
                quit = true;
                reply = "bye";
            } else if (verb == "list") {
                for (const auto& d : bench.Devices()) reply += DeviceLine(d) + "\n";
                if (!reply.empty()) reply.pop_back();
            } else if (verb == "mode" || verb == "unplug") {
                gf::sim::SimMode mode = gf::sim::SimMode::Absent;
                cmd >> number;
                if (verb == "mode") cmd >> modeText >> socket;
                if (verb == "mode" && !gf::sim::ParseMode(modeText, mode)) {
                    reply = "error: bad mode '" + modeText + "'";
                } else if (!bench.SetMode(number, mode, error, socket)) {
                    reply = "error: " + error;
                } else {
                    reply = "ok " + DeviceLine(*bench.Device(number));
                }
            } else if (!verb.empty()) {
                reply = "error: unknown command '" + verb + "'";
            }
            if (!reply.empty()) {
                std::lock_guard lock(outMutex);
                std::cout << reply << std::endl;
            }
        }
    }
    bench.SetListener(nullptr);
    bench.Stop();
    ::unlink(describe.c_str());
    ::close(lockFd);
    return 0;
}
