#pragma once

#include <string>

namespace gf::edl {

// Turns a port argument into a device node path. Accepted: a device path
// (/dev/ttyUSB3, /dev/pts/7, a symlink), "\\.\COM<n>" and "COM<n>" (any case).
// COM names are looked up in the station's serial port list; false with
// `error` naming the port when the name cannot be resolved.
bool ResolvePortName(const std::string& argument, std::string& path, std::string& error);

// The COM number in "\\.\COM<n>" or "COM<n>", or -1 when the text is no COM name.
int ParseComName(const std::string& argument);

}  // namespace gf::edl
