#pragma once

#include <string>

namespace gf {

class IClock;
class IProfile;
class IProcessLauncher;
class IProcessTable;
class IDeviceTree;
class IUserStore;
struct QmslTable;

// The platform as the station's core sees it. Filled once by the program (or a
// test) and shared read-only by the controller and every job.
struct Services {
    IClock* clock = nullptr;
    IProfile* profile = nullptr;
    IProcessLauncher* launcher = nullptr;
    IProcessTable* processes = nullptr;
    IDeviceTree* devices = nullptr;
    const QmslTable* qmsl = nullptr;
    IUserStore* userStore = nullptr;
    // Root of the per-slot working directories, ending in '/': slot n works
    // in <workRoot>DL<n>/.
    std::string workRoot;
};

}  // namespace gf
