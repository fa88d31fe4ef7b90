#pragma once

#include <string>

namespace gf {

class CDownloadProc;

enum QcnMode : int {
    kQcnBackup = 0,   // device to file
    kQcnRestore = 2,  // file to device
};

// The QCN backup file of a DIAG port: "ORVA_Gangflash_COM<port>.qcn" in the
// log directory below the current directory.
std::string QcnPath(int port);

// Connects, sends the default SPC, marks the target multi-SIM and backs the NV
// items up into m_strQcnPath (mode 0) or writes them back from it (mode 2; a
// successful restore deletes the file). True when all of it succeeded; the
// connection stays open either way. Job thread; reports its own outcome.
bool RunQcnOperation(CDownloadProc& job, int mode);

}  // namespace gf
