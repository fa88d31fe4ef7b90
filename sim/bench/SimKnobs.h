#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gf::sim {

// What a simulated device shows on the bus.
enum class SimMode { Absent, Diag, Download };

const char* ModeName(SimMode mode);  // "absent", "diag", "download"
bool ParseMode(const std::string& text, SimMode& mode);

// Identity, timing and faults of one simulated device.
struct DeviceKnobs {
    SimMode mode = SimMode::Download;  // mode at power-on
    std::string serial;                // USB serial number; empty: none
    int socket = 0;                    // hub port; 0: the device's own number
    uint64_t storageBytes = 64ull << 20;
    uint16_t diagPid = 0x9091;  // product id of the diagnostic composite device
    // Download mode.
    double bytesPerSecond = 0;  // 0: unlimited
    int stallAtPercent = -1;
    std::string nakCommand;
    int vanishAtPercent = -1;
    // Diagnostic mode.
    bool refuseSwitch = false;
    int answerAtPoll = 1;
    std::string spcRefused;
    // After a power reset in download mode.
    bool noReturn = false;
    int returnSocket = 0;               // 0: the same socket
    std::optional<SimMode> returnMode;  // unset: the mode it was switched from
};

// Knobs of a whole bench, from a short text:
//
//   item[,item...]          item = [dev<N>:]key[=value]
//
// An item without a device prefix applies to every device; "dev<N>:" (N from
// 1) to device N only. Device items win over bench-wide items whatever their
// order; among items of one kind the later wins. Keys:
//
//   mode=diag|download|absent   mode at power-on (default download)
//   serial=TEXT                 USB serial number, letters and digits
//   socket=N                    hub port (default: the device number)
//   storage=SIZE                size of the eMMC file (default 64M)
//   pid=HEX                     diagnostic composite product id (default 9091)
//   rate=SIZE                   download transfer rate in bytes per second
//   stall=PCT                   stop answering at PCT percent of a transfer
//   nak=COMMAND                 NAK every Firehose COMMAND (program, patch, ...)
//   vanish=PCT                  leave the bus at PCT percent of a transfer
//   refuse-switch               ignore the switch to download mode
//   answer-at=N                 answer diagnostic polls from the N-th on
//   spc-refused=CODE            refuse this service programming code
//   no-return                   stay away after the power reset
//   return-socket=N             come back at hub port N after the power reset
//   return-mode=diag|download   mode after the power reset (default: the mode
//                               the device was switched from)
//
// SIZE is a number with an optional K, M or G suffix (powers of 1024).
class BenchKnobs {
public:
    // Adds the items of `text` (empty text: none). On a bad item nothing is
    // added and `error` names it.
    bool Parse(const std::string& text, std::string& error);
    // The knobs of device `number` (from 1).
    DeviceKnobs For(int number) const;
    // The highest device number an item names; 0 when none does.
    int HighestDevice() const;

private:
    struct Item {
        int device;  // 0: every device
        std::string key;
        std::string value;
        bool hasValue;
    };
    std::vector<Item> m_items;
};

// `--simulate` argument: "N[,knobs...]". Fails on a count below 1 or above
// `maxCount`, a bad knob or a knob for a device beyond N.
bool ParseSimulateArgument(const std::string& text, int maxCount, int& count, BenchKnobs& knobs,
                           std::string& error);

}  // namespace gf::sim
