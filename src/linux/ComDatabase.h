#pragma once

#include <string>

namespace gf {

// Persistent COM numbers for serial ports. A port is keyed by the USB
// location of its device, the USB id (vid:pid) and the interface number, so a
// device that leaves and returns at the same socket in the same mode gets its
// old number back. The file is a list of lines
//   <location>\t<usbId>\t<interface>\t<number>
// read and extended under an exclusive flock, so threads and processes that
// share the file never hand out one number twice.
class ComDatabase {
public:
    explicit ComDatabase(std::string path = DefaultPath());

    // $XDG_STATE_HOME/gangflash/comports.db, else ~/.local/state/gangflash/comports.db.
    static std::string DefaultPath();

    // The number kept for this key; else the lowest free number >= 1, written
    // to the file before it is returned. Returns 0 only when the file can be
    // neither read nor written (the port then has no COM number).
    int Assign(const std::string& usbLocation, const std::string& usbId, int interfaceNumber);

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace gf
