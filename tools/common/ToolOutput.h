#pragma once

#include <string>

namespace gf::edl {

// Writes one output line ending in "\r\n" to stdout and flushes it at once:
// the station reads the tools through a pipe and reacts to each marker line.
void OutLine(const std::string& text);

// The tools' basic wait for a device answer in milliseconds: the environment
// variable GF_EDL_TIMEOUT_MS when set to a positive number, else 10000.
int BaseTimeoutMs();

}  // namespace gf::edl
