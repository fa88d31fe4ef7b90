#pragma once

#include <string>

namespace gf {

class IDeviceTree;

// The serial-port report an operator runs first when a bench misbehaves: one
// line per present COM port, tab-separated:
//   COM<n>  friendly name  device path  instance id  physical port address
// The address is the one a job started on that port would record (hub form,
// else location path); for a download port, the one the look-ups after the
// switch find it under. "-" when there is none. No ports: no lines.
std::string FormatPortList(IDeviceTree& tree);

}  // namespace gf
