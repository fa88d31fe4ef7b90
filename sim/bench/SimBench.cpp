#include "SimBench.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ComDatabase.h"
#include "platform/StopSignal.h"

namespace gf::sim {

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A pseudo-terminal pair in raw mode; returns the master fd (-1 on failure)
// and the slave's path. The slave is closed again: a host opens it by path.
int OpenRawPty(std::string& slavePath, std::string& error) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = Errno("posix_openpt");
        return -1;
    }
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        error = Errno("pseudo-terminal setup");
        ::close(master);
        return -1;
    }
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = Errno(std::string("open ") + name);
        ::close(master);
        return -1;
    }
    termios tio{};
    bool raw = ::tcgetattr(slave, &tio) == 0;
    if (raw) {
        ::cfmakeraw(&tio);
        raw = ::tcsetattr(slave, TCSANOW, &tio) == 0;
    }
    ::close(slave);
    if (!raw) {
        error = Errno(std::string("raw mode on ") + name);
        ::close(master);
        return -1;
    }
    slavePath = name;
    return master;
}

bool PrepareStorage(const std::string& path, uint64_t bytes, std::string& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Errno("storage " + path);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && static_cast<uint64_t>(st.st_size) != bytes) {
        ok = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    }
    if (!ok) error = Errno("storage " + path);
    ::close(fd);
    return ok;
}

}  // namespace

struct SimBench::Unit {
    SimDeviceState state;
    SimMode mode = SimMode::Absent;
    int socket = 0;
    bool fromDiag = false;  // entered download mode by a switch from diag
    int masterFd = -1;
    std::string devicePath;  // <dir>/ttySIM<n>, a symlink to the slave
    int comNumber = 0;
    std::shared_ptr<StopSignal> stop;  // of the current appearance
    uint64_t appearance = 0;           // bumps on every re-enumeration
    bool serving = false;              // a server holds masterFd
    std::thread thread;
};

SimBench::SimBench(BenchConfig config) : m_config(std::move(config)) {}

SimBench::~SimBench() {
    Stop();
}

bool SimBench::Start(std::string& error) {
    std::unique_lock lock(m_mutex);
    if (m_running) return true;
    if (m_config.count < 1) {
        error = "a bench needs at least one device";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(m_config.dir, ec);
    if (ec) {
        error = "bench directory " + m_config.dir + ": " + ec.message();
        return false;
    }
    const std::string db =
        m_config.comDbPath.empty() ? m_config.dir + "/comports.db" : m_config.comDbPath;
    m_comDb = std::make_unique<ComDatabase>(db);

    m_devices.clear();
    m_shutdown = false;
    m_generation = 0;
    for (int n = 1; n <= m_config.count; ++n) {
        auto d = std::make_unique<Unit>();
        d->state.number = n;
        d->state.knobs = m_config.knobs.For(n);
        d->state.storageBytes = d->state.knobs.storageBytes;
        d->state.storagePath = m_config.dir + "/dev" + std::to_string(n) + ".emmc";
        SeedNvItems(n, d->state.nv);
        if (m_config.log) {
            d->state.log = [log = m_config.log, n](const std::string& line) {
                log("dev" + std::to_string(n) + ": " + line);
            };
        }
        d->socket = d->state.knobs.socket > 0 ? d->state.knobs.socket : n;
        for (const auto& other : m_devices) {
            if (other->socket == d->socket) {
                error = "dev" + std::to_string(n) + " and dev" +
                        std::to_string(other->state.number) + " share socket " +
                        std::to_string(d->socket);
                m_devices.clear();
                return false;
            }
        }
        if (!PrepareStorage(d->state.storagePath, d->state.storageBytes, error)) {
            m_devices.clear();
            return false;
        }
        m_devices.push_back(std::move(d));
    }
    for (auto& d : m_devices) {
        SimMode mode = d->state.knobs.mode;
        if (mode != SimMode::Absent && !Appear(*d, mode, error)) {
            for (auto& e : m_devices) Disappear(*e);
            m_devices.clear();
            return false;
        }
    }
    for (auto& d : m_devices) {
        Unit* raw = d.get();
        d->thread = std::thread([this, raw] { Run(*raw); });
    }
    m_running = true;
    return true;
}

void SimBench::Stop() {
    std::unique_lock lock(m_mutex);
    if (!m_running) return;
    m_shutdown = true;
    for (auto& d : m_devices) {
        if (d->stop) d->stop->Request();
    }
    m_cv.notify_all();
    lock.unlock();
    for (auto& d : m_devices) {
        if (d->thread.joinable()) d->thread.join();
    }
    lock.lock();
    for (auto& d : m_devices) Disappear(*d);
    m_running = false;
}

bool SimBench::Appear(Unit& d, SimMode mode, std::string& error) {
    PortAppearance port;
    port.mode = mode;
    port.socket = d.socket;
    port.serial = d.state.knobs.serial;
    port.diagPid = d.state.knobs.diagPid;
    std::string slave;
    int fd = OpenRawPty(slave, error);
    if (fd < 0) return false;
    // Hosts open the port through a symlink named after the device, which is
    // also the device name its friendly name shows.
    const std::string link = m_config.dir + "/ttySIM" + std::to_string(d.state.number);
    const std::string tmp = link + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(slave.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
        error = Errno("symlink " + link);
        ::unlink(tmp.c_str());
        ::close(fd);
        return false;
    }
    port.devicePath = link;
    d.masterFd = fd;
    d.devicePath = link;
    d.comNumber = m_comDb->Assign(UsbLocationOf(m_config.bus, d.socket), UsbIdOf(port), 0);
    d.mode = mode;
    d.stop = std::make_shared<StopSignal>();
    if (d.state.log) {
        d.state.log(std::string(ModeName(mode)) + " at socket " + std::to_string(d.socket) +
                    " as COM" + std::to_string(d.comNumber) + " on " + slave);
    }
    return true;
}

void SimBench::Disappear(Unit& d) {
    if (d.masterFd >= 0) {
        ::unlink(d.devicePath.c_str());
        ::close(d.masterFd);
        if (d.state.log) d.state.log("left the bus");
    }
    d.masterFd = -1;
    d.devicePath.clear();
    d.comNumber = 0;
    d.mode = SimMode::Absent;
    d.stop.reset();
}

void SimBench::ChangeTo(Unit& d, SimMode mode, int socket) {
    const SimMode old = d.mode;
    Disappear(d);
    if (socket > 0) d.socket = socket;
    if (mode == SimMode::Download) {
        d.fromDiag = old == SimMode::Diag || (old == SimMode::Download && d.fromDiag);
    }
    std::string error;
    if (mode != SimMode::Absent && !Appear(d, mode, error) && d.state.log) {
        d.state.log("cannot appear: " + error);
    }
    ++d.appearance;
    ++m_generation;
    m_cv.notify_all();
}

void SimBench::WaitIdle(std::unique_lock<std::mutex>& lock, Unit& d) {
    if (!d.serving) return;
    if (d.stop) d.stop->Request();
    m_cv.wait(lock, [&] { return !d.serving; });
}

bool SimBench::SetMode(int number, SimMode mode, std::string& error, int socket) {
    std::unique_lock lock(m_mutex);
    if (!m_running || m_shutdown) {
        error = "the bench is not running";
        return false;
    }
    if (number < 1 || number > static_cast<int>(m_devices.size())) {
        error = "no device " + std::to_string(number);
        return false;
    }
    Unit& d = *m_devices[static_cast<size_t>(number - 1)];
    if (socket > 0) {
        for (const auto& other : m_devices) {
            if (other.get() != &d && other->socket == socket && other->mode != SimMode::Absent) {
                error = "socket " + std::to_string(socket) + " is taken by dev" +
                        std::to_string(other->state.number);
                return false;
            }
        }
    }
    if (d.mode == mode && (socket <= 0 || socket == d.socket)) return true;
    WaitIdle(lock, d);
    ChangeTo(d, mode, socket);
    const bool ok = d.mode == mode;
    if (!ok) error = "dev" + std::to_string(number) + " could not appear";
    lock.unlock();
    Notify();
    return ok;
}

void SimBench::Run(Unit& d) {
    std::unique_lock lock(m_mutex);
    uint64_t served = ~uint64_t{0};
    while (!m_shutdown) {
        const ModeServers::Server* server = nullptr;
        if (d.mode == SimMode::Diag && m_config.servers.diag) server = &m_config.servers.diag;
        if (d.mode == SimMode::Download && m_config.servers.download) {
            server = &m_config.servers.download;
        }
        if (server == nullptr || d.appearance == served) {
            m_cv.wait(lock);
            continue;
        }
        served = d.appearance;
        const int fd = d.masterFd;
        std::shared_ptr<StopSignal> stop = d.stop;
        d.serving = true;
        lock.unlock();
        const SimOutcome outcome = (*server)(fd, d.state, *stop);
        lock.lock();
        d.serving = false;
        m_cv.notify_all();
        if (m_shutdown || stop->IsRequested() || outcome == SimOutcome::Stopped) continue;

        const DeviceKnobs& k = d.state.knobs;
        SimMode next = SimMode::Absent;
        int socket = 0;
        switch (outcome) {
            case SimOutcome::Reset:
                if (!k.noReturn) {
                    next = k.returnMode ? *k.returnMode
                                        : (d.fromDiag ? SimMode::Diag : SimMode::Download);
                    socket = k.returnSocket;
                }
                break;
            case SimOutcome::SwitchToDownload:
                next = SimMode::Download;
                break;
            case SimOutcome::Vanished:
            case SimOutcome::Stopped:
                break;
        }
        if (d.state.log) {
            static const char* names[] = {"stopped", "power reset", "vanished",
                                          "switch to download"};
            d.state.log(std::string("server ended: ") + names[static_cast<int>(outcome)]);
        }
        ChangeTo(d, next, socket);
        lock.unlock();
        Notify();
        lock.lock();
    }
}

void SimBench::Notify() {
    std::function<void()> listener;
    {
        std::lock_guard lock(m_listenerMutex);
        listener = m_listener;
    }
    if (listener) listener();
}

void SimBench::SetListener(std::function<void()> onChange) {
    std::lock_guard lock(m_listenerMutex);
    m_listener = std::move(onChange);
}

SimDeviceInfo SimBench::InfoOf(const Unit& d) const {
    SimDeviceInfo info;
    info.number = d.state.number;
    info.mode = d.mode;
    info.socket = d.socket;
    info.comNumber = d.comNumber;
    info.devicePath = d.devicePath;
    info.serial = d.state.knobs.serial;
    info.storagePath = d.state.storagePath;
    info.storageBytes = d.state.storageBytes;
    return info;
}

std::vector<SimDeviceInfo> SimBench::Devices() {
    std::lock_guard lock(m_mutex);
    std::vector<SimDeviceInfo> out;
    for (const auto& d : m_devices) out.push_back(InfoOf(*d));
    return out;
}

std::optional<SimDeviceInfo> SimBench::Device(int number) {
    std::lock_guard lock(m_mutex);
    if (number < 1 || number > static_cast<int>(m_devices.size())) return std::nullopt;
    return InfoOf(*m_devices[static_cast<size_t>(number - 1)]);
}

SimDeviceState& SimBench::State(int number) {
    std::lock_guard lock(m_mutex);
    return m_devices.at(static_cast<size_t>(number - 1))->state;
}

uint64_t SimBench::Generation() {
    std::lock_guard lock(m_mutex);
    return m_generation;
}

std::vector<DeviceNode> SimBench::Snapshot() {
    std::vector<PortAppearance> ports;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& d : m_devices) {
            if (d->mode == SimMode::Absent) continue;
            PortAppearance p;
            p.mode = d->mode;
            p.socket = d->socket;
            p.serial = d->state.knobs.serial;
            p.diagPid = d->state.knobs.diagPid;
            p.comNumber = d->comNumber;
            p.devicePath = d->devicePath;
            ports.push_back(p);
        }
    }
    return SynthesizeNodes(m_config.bus, ports);
}

}  // namespace gf::sim
