#pragma once

#include <cstdint>

namespace gf {

class CDownloadProc;

// The job steps that follow a device from its DIAG port to its download port
// and back. Each reports its failure with a status line of state 0 before it
// returns false; the waits poll once a second on the job's clock and end at
// once, silently and with false, when the job is stopped.

// Records the USB location of the job's DIAG port in m_szPhysicalPortAddress
// (hub form, else location path). A download-port job needs none: true.
bool RecordPhysicalPortAddress(CDownloadProc& job);
// Up to `tries` checks, one second apart, for the job's port as a DIAG port.
bool WaitPortReady(CDownloadProc& job, std::uint32_t tries);
// Up to 10 look-ups, one second apart, of a download port at the recorded
// location; its number goes to `newPort`.
bool FindPortAfterEDL(CDownloadProc& job, int& newPort);
// Waits up to 120 s for the DIAG port to return, then asks the operator
// whether to wait 40 s more.
bool WaitDiagPortBeforeRestore(CDownloadProc& job);

}  // namespace gf
