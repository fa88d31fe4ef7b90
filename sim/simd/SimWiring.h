#pragma once

#include "ModeServers.h"
#include "SamplePackage.h"

namespace gf::sim {

// The device-side protocol servers of this build: download mode speaks Sahara
// and Firehose, diagnostic mode speaks DIAG. A server that is not built in is
// left empty, so its mode stays silent.
ModeServers MakeModeServers();

// The programmer image writer the download-mode server accepts; empty when
// that server is not built in.
ProgrammerWriter MakeProgrammerWriter();

}  // namespace gf::sim
