#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ModeServers.h"
#include "SimKnobs.h"
#include "SimNodes.h"
#include "platform/DeviceTree.h"

namespace gf {
class ComDatabase;
}

namespace gf::sim {

struct BenchConfig {
    std::string dir;  // storage files live here; created when missing
    int count = 1;    // devices 1..count
    BenchKnobs knobs;
    std::string comDbPath;  // COM-number database; empty: <dir>/comports.db
    int bus = 1;            // USB bus number of the bench's root hub
    ModeServers servers;
    // Device-side log lines, prefixed "dev<N>: ". May be empty.
    std::function<void(const std::string&)> log;
};

// A device of the bench as it is now.
struct SimDeviceInfo {
    int number = 0;
    SimMode mode = SimMode::Absent;
    int socket = 0;
    int comNumber = 0;       // 0 while absent
    std::string devicePath;  // <dir>/ttySIM<number>, a symlink to the pseudo-terminal
                             // slave; empty while absent
    std::string serial;
    std::string storagePath;
    uint64_t storageBytes = 0;
};

// N virtual devices, each behind a raw pseudo-terminal while present, at a
// socket of one simulated hub. It is the device tree and the device-change
// source of the station: every arrival and removal calls the listener. A mode
// change is a re-enumeration: the old pseudo-terminal closes and a new one
// appears at the same socket with the COM number the database gives it.
//
// Each device has a thread that runs the protocol server of its current mode.
// A server ending in Reset brings the device back in the mode it was switched
// from (or its return-mode knob), at its return socket, or not at all
// (no-return); Vanished leaves it absent; SwitchToDownload re-enumerates it in
// download mode. Thread-safe.
class SimBench : public IDeviceTree, public IDeviceChangeSource {
public:
    explicit SimBench(BenchConfig config);
    ~SimBench() override;
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // Creates the storage files and brings every device up in its power-on
    // mode. False with a reason when a file or pseudo-terminal cannot be made;
    // nothing is left running then.
    bool Start(std::string& error);
    // Takes every device off the bus and ends the device threads. No change
    // event is sent. Safe to call twice.
    void Stop();

    int Count() const { return m_config.count; }
    std::vector<SimDeviceInfo> Devices();
    std::optional<SimDeviceInfo> Device(int number);
    // The device's lasting state (NV items, storage file). `number` from 1.
    SimDeviceState& State(int number);
    // Counts the changes of the bench since Start.
    uint64_t Generation();

    // Re-enumerates device `number` in `mode` (Absent: unplugs it), after the
    // running server has returned. A device already in `mode` is left alone.
    // `socket` > 0 moves it to that hub port as well. Returns when the new
    // port is present and the listener has been called.
    bool SetMode(int number, SimMode mode, std::string& error, int socket = 0);

    std::vector<DeviceNode> Snapshot() override;
    void SetListener(std::function<void()> onChange) override;

private:
    struct Unit;

    bool Appear(Unit& d, SimMode mode, std::string& error);  // m_mutex held
    void Disappear(Unit& d);                                 // m_mutex held
    void ChangeTo(Unit& d, SimMode mode, int socket);        // m_mutex held
    void WaitIdle(std::unique_lock<std::mutex>& lock, Unit& d);
    void Run(Unit& d);
    void Notify();
    SimDeviceInfo InfoOf(const Unit& d) const;

    BenchConfig m_config;
    std::unique_ptr<ComDatabase> m_comDb;
    std::vector<std::unique_ptr<Unit>> m_devices;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_running = false;
    bool m_shutdown = false;
    uint64_t m_generation = 0;
    std::mutex m_listenerMutex;
    std::function<void()> m_listener;
};

}  // namespace gf::sim
