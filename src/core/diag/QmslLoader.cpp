#include "diag/QmslLoader.h"

#include <dlfcn.h>

#include <atomic>

#include "platform/DeviceTree.h"

namespace gf {

namespace {

// The tree the library's resolver asks. A C function pointer carries no
// context, so it lives here; every loader of the process shares it.
std::atomic<IDeviceTree*> g_resolverTree{nullptr};

const char* ResolveForLibrary(unsigned port) {
    // Valid until this thread's next call; the library copies it at once.
    thread_local std::string path;
    path = QmslLoader::ResolvePort(g_resolverTree.load(), port);
    return path.empty() ? nullptr : path.c_str();
}

template <typename Fn>
bool Bind(void* lib, const char* name, Fn& slot, std::string& error) {
    void* sym = dlsym(lib, name);
    if (sym == nullptr) {
        error = std::string("missing function ") + name;
        return false;
    }
    slot = reinterpret_cast<Fn>(sym);
    return true;
}

}  // namespace

QmslLoader::~QmslLoader() {
    // The library stays mapped (jobs of a closing station may still be inside
    // it), but it no longer asks a device tree that may be gone.
    if (m_loaded) g_resolverTree.store(nullptr);
}

std::string QmslLoader::ResolvePort(IDeviceTree* devices, unsigned port) {
    if (devices == nullptr) return {};
    for (const auto& node : devices->Snapshot()) {
        if (node.isComPort && node.comNumber == static_cast<int>(port) &&
            !node.devicePath.empty()) {
            return node.devicePath;
        }
    }
    return {};
}

bool QmslLoader::Load(const std::string& path, IDeviceTree* devices, std::string& error) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* why = dlerror();
        error = why ? why : ("cannot load " + path);
        return false;
    }
    QmslTable t{};
    bool ok = Bind(lib, "QLIB_SetLibraryMode", t.SetLibraryMode, error) &&
              Bind(lib, "QLIB_SetTargetType", t.SetTargetType, error) &&
              Bind(lib, "QLIB_ConnectServer", t.ConnectServer, error) &&
              Bind(lib, "QLIB_ConfigureEfs2CallBacks", t.ConfigureEfs2CallBacks, error) &&
              Bind(lib, "QLIB_GetLibraryCapabilities", t.GetLibraryCapabilities, error) &&
              Bind(lib, "QLIB_IsPhoneConnected", t.IsPhoneConnected, error) &&
              Bind(lib, "QLIB_StopLogging", t.StopLogging, error) &&
              Bind(lib, "QLIB_DisconnectServer", t.DisconnectServer, error) &&
              Bind(lib, "QLIB_QPHONEMS_SwitchToEDL", t.QPHONEMS_SwitchToEDL, error) &&
              Bind(lib, "QLIB_DIAG_SPC_F", t.DIAG_SPC_F, error) &&
              Bind(lib, "QLIB_NV_SetTargetSupportMultiSIM", t.NV_SetTargetSupportMultiSIM, error) &&
              Bind(lib, "QLIB_BackupNVFromMobileToQCN", t.BackupNVFromMobileToQCN, error) &&
              Bind(lib, "QLIB_NV_LoadNVsFromQCN", t.NV_LoadNVsFromQCN, error) &&
              Bind(lib, "QLIB_NV_WriteNVsToMobile", t.NV_WriteNVsToMobile, error);
    using SetResolver = void (*)(const char* (*)(unsigned));
    SetResolver setResolver = nullptr;
    if (ok && Bind(lib, "QLIB_SetPortResolver", setResolver, error)) {
        g_resolverTree.store(devices);
        setResolver(&ResolveForLibrary);
    } else if (ok) {
        // Another build of the library: it resolves ports its own way.
        error.clear();
    }
    if (!ok) {
        dlclose(lib);
        return false;
    }
    m_lib = lib;
    m_table = t;
    m_loaded = true;
    return true;
}

}  // namespace gf
