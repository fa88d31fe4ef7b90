#pragma once

namespace gf {

class CDownloadProc;

// Opens a diag connection on the job's port (closing the one it still holds)
// and makes sure the device answers: up to five polls, 200 ms apart. True when
// the device answered; a connection that got a handle but no answer stays in
// m_hQmsl. Job thread; reports its own outcome.
bool ConnectDiag(CDownloadProc& job);

// Connects and sends the device into emergency download mode, then closes the
// connection and waits 4 s. True when the device accepted the switch.
bool SwitchToEDL(CDownloadProc& job);

// Closes the job's diag connection, if it holds one, without a report.
void CloseDiagConnection(CDownloadProc& job);

}  // namespace gf
