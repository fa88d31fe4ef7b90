// The station's diag library: the QLIB_ functions of the diag contract over
// DIAG on the device's serial port.
//
// A handle is a Connection; any number of connections may be used at once from
// different threads, each call on a connection is serialised by its own lock,
// and the set of live connections is guarded by one registry lock.
//
// Result codes (set through the int* outputs):
//   0  success
//   1  the QCN file cannot be created, opened or renamed into place
//   2  the device did not answer, or its port went away
//   3  the device rejected a command (DIAG error reply, e.g. SPC locked)
//   4  the QCN file is not in our format (see QcnFile.h)
//   5  the device refused to write an NV item (NV status not 0)
//   6  nothing loaded: NV_WriteNVsToMobile before a successful load
//   7  invalid or closed handle

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "DiagLink.h"
#include "PortName.h"
#include "QcnFile.h"

#define QLIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Bytes = std::vector<uint8_t>;
using gf::qmsl::DiagLink;
using gf::qmsl::NvItem;
using gf::qmsl::QcnFile;
using namespace gf::diag;

using FileCallback = bool (*)(const char*, const char*, int, int, int, int, void*);
using DirCallback = bool (*)(const char*, int, void*);
using PortResolver = const char* (*)(unsigned);

enum ResultCode {
    kOk = 0,
    kFileError = 1,
    kNoAnswer = 2,
    kRejected = 3,
    kBadFile = 4,
    kItemRefused = 5,
    kNothingLoaded = 6,
    kBadHandle = 7,
};

constexpr int kPollTimeoutMs = 300;
constexpr int kCommandTimeoutMs = 1000;
// NV ids read by a backup: every id below this is asked for; ids the device
// reports inactive or undefined are not part of the backup.
constexpr unsigned kNvScanEnd = 8192;
constexpr int kOpFromDevice = 1;  // transfer callback operations
constexpr int kOpToDevice = 2;

struct Connection {
    std::mutex mutex;
    DiagLink link;
    unsigned port = 0;
    bool multiSim = false;
    bool loaded = false;
    std::vector<NvItem> pending;  // items of the last load, for the write
    FileCallback fileCallback = nullptr;
    DirCallback dirCallback = nullptr;
};

std::mutex g_registryMutex;
std::set<Connection*> g_connections;
std::atomic<PortResolver> g_resolver{nullptr};
std::atomic<unsigned char> g_libraryMode{0};
std::atomic<unsigned char> g_targetType{0};

// The connection behind `handle` with its lock held, or none when the handle
// is not a live connection.
struct Locked {
    Connection* c = nullptr;
    std::unique_lock<std::mutex> lock;
    explicit operator bool() const { return c != nullptr; }
};

Locked Lock(void* handle) {
    Locked out;
    if (handle == nullptr) return out;
    Connection* c = static_cast<Connection*>(handle);
    {
        std::lock_guard reg(g_registryMutex);
        if (!g_connections.count(c)) return out;
    }
    // A handle is closed only by its own caller, never while in use.
    out.lock = std::unique_lock(c->mutex);
    out.c = c;
    return out;
}

void SetCode(int* code, int value) {
    if (code) *code = value;
}

int CodeFor(DiagLink::Result r) {
    switch (r) {
        case DiagLink::Result::Ok:
            return kOk;
        case DiagLink::Result::ErrorReply:
            return kRejected;
        default:
            return kNoAnswer;
    }
}

Bytes NvRequest(uint8_t command, uint16_t id, const uint8_t* data) {
    Bytes req(kNvPacketSize, 0);
    req[0] = command;
    req[1] = static_cast<uint8_t>(id & 0xFF);
    req[2] = static_cast<uint8_t>(id >> 8);
    if (data) std::memcpy(&req[3], data, kNvDataSize);
    return req;
}

uint16_t NvStatus(const Bytes& rsp) {
    if (rsp.size() != kNvPacketSize) return kNvBadParameter;
    return static_cast<uint16_t>(rsp[kNvPacketSize - 2] | (rsp[kNvPacketSize - 1] << 8));
}

void Notify(Connection* c, void* handle, const char* src, const char* dst, int op, int bytes) {
    if (c->fileCallback) c->fileCallback(src, dst, op, 0, bytes, bytes, handle);
}

}  // namespace

// Ours, beyond the contract: how a COM number becomes a device node. The
// station sets it after loading the library; without one, COM numbers are
// resolved as the loader tools resolve them.
QLIB_EXPORT void QLIB_SetPortResolver(PortResolver resolver) {
    g_resolver.store(resolver);
}

QLIB_EXPORT void QLIB_SetLibraryMode(unsigned char useQpst) {
    g_libraryMode.store(useQpst);
}

QLIB_EXPORT void QLIB_SetTargetType(unsigned char targetType) {
    g_targetType.store(targetType);
}

QLIB_EXPORT void* QLIB_ConnectServer(unsigned int comPort) {
    std::string path, error;
    if (PortResolver resolver = g_resolver.load()) {
        const char* resolved = resolver(comPort);
        if (resolved != nullptr) path = resolved;
    } else if (!gf::edl::ResolvePortName("COM" + std::to_string(comPort), path, error)) {
        // Without the station's resolver, COM numbers are found as the loader tools find them.
        path.clear();
    }
    if (path.empty()) return nullptr;
    auto c = std::make_unique<Connection>();
    c->port = comPort;
    if (!c->link.Open(path, error)) return nullptr;
    std::lock_guard reg(g_registryMutex);
    g_connections.insert(c.get());
    return c.release();
}

QLIB_EXPORT void QLIB_DisconnectServer(void* handle) {
    Connection* c = static_cast<Connection*>(handle);
    {
        std::lock_guard reg(g_registryMutex);
        if (c == nullptr || g_connections.erase(c) == 0) return;
    }
    {
        std::lock_guard lock(c->mutex);
        c->link.Close();
    }
    delete c;
}

QLIB_EXPORT unsigned char QLIB_ConfigureEfs2CallBacks(void* handle, FileCallback file,
                                                      DirCallback dir) {
    Locked l = Lock(handle);
    if (!l) return 0;
    l.c->fileCallback = file;
    l.c->dirCallback = dir;
    return 1;
}

QLIB_EXPORT unsigned char QLIB_GetLibraryCapabilities(unsigned char* supportsDiag,
                                                      unsigned char* supportsEfs,
                                                      unsigned char* supportsSwDownload,
                                                      unsigned char* usingQpst) {
    if (supportsDiag) *supportsDiag = 1;
    if (supportsEfs) *supportsEfs = 0;
    if (supportsSwDownload) *supportsSwDownload = 0;
    if (usingQpst) *usingQpst = 0;
    return 1;
}

QLIB_EXPORT unsigned char QLIB_IsPhoneConnected(void* handle) {
    Locked l = Lock(handle);
    if (!l) return 0;
    Bytes rsp;
    return l.c->link.Request({kCmdStatus}, rsp, kPollTimeoutMs) == DiagLink::Result::Ok;
}

// Nothing is logged by this library; kept for the contract.
QLIB_EXPORT void QLIB_StopLogging(void*) {}

QLIB_EXPORT unsigned char QLIB_QPHONEMS_SwitchToEDL(void* handle) {
    Locked l = Lock(handle);
    if (!l) return 0;
    Bytes rsp;
    return l.c->link.Request({kCmdSubsys, kSubsysSystemOps, 0x01, 0x00}, rsp, kCommandTimeoutMs) ==
           DiagLink::Result::Ok;
}

QLIB_EXPORT unsigned char QLIB_DIAG_SPC_F(void* handle, unsigned char* spc, unsigned char* result) {
    Locked l = Lock(handle);
    if (!l || spc == nullptr) return 0;
    // Sized up front: GCC 12 at -O2 misreads an insert after a one-byte init.
    Bytes req(7);
    req[0] = kCmdSpc;
    std::copy(spc, spc + 6, req.begin() + 1);
    Bytes rsp;
    const DiagLink::Result r = l.c->link.Request(req, rsp, kCommandTimeoutMs);
    if (result) *result = (r == DiagLink::Result::Ok && rsp.size() >= 2) ? rsp[1] : 0;
    // A locked-SPC reply is an answer too: the code was exchanged and refused.
    return r == DiagLink::Result::Ok || r == DiagLink::Result::ErrorReply;
}

QLIB_EXPORT unsigned char QLIB_NV_SetTargetSupportMultiSIM(void* handle, unsigned char supported) {
    Locked l = Lock(handle);
    if (!l) return 0;
    // Recorded in the QCN file; the items themselves are read the same way.
    l.c->multiSim = supported != 0;
    return 1;
}

QLIB_EXPORT unsigned char QLIB_BackupNVFromMobileToQCN(void* handle, char* path, int* resultCode) {
    Locked l = Lock(handle);
    if (!l) return SetCode(resultCode, kBadHandle), 0;
    if (path == nullptr) return SetCode(resultCode, kFileError), 0;
    QcnFile file;
    file.multiSim = l.c->multiSim;
    for (unsigned id = 0; id < kNvScanEnd; ++id) {
        Bytes rsp;
        const auto r = l.c->link.Request(NvRequest(kCmdNvRead, static_cast<uint16_t>(id), nullptr),
                                         rsp, kCommandTimeoutMs);
        if (r != DiagLink::Result::Ok) return SetCode(resultCode, CodeFor(r)), 0;
        if (NvStatus(rsp) != kNvDone) continue;
        file.items.push_back(
            {static_cast<uint16_t>(id), Bytes(rsp.begin() + 3, rsp.begin() + 3 + kNvDataSize)});
    }
    std::string error;
    if (!file.Save(path, error)) return SetCode(resultCode, kFileError), 0;
    Notify(l.c, handle, "NV items", path, kOpFromDevice,
           static_cast<int>(file.items.size() * kNvDataSize));
    SetCode(resultCode, kOk);
    return 1;
}

QLIB_EXPORT unsigned char QLIB_NV_LoadNVsFromQCN(void* handle, char* path, int* count,
                                                 int* resultCode) {
    Locked l = Lock(handle);
    if (!l) return SetCode(resultCode, kBadHandle), 0;
    l.c->loaded = false;
    l.c->pending.clear();
    QcnFile file;
    std::string error;
    if (path == nullptr || !file.Load(path, error)) {
        const bool missing = path == nullptr || ::access(path, R_OK) != 0;
        return SetCode(resultCode, missing ? kFileError : kBadFile), 0;
    }
    l.c->pending = std::move(file.items);
    l.c->loaded = true;
    if (count) *count = static_cast<int>(l.c->pending.size());
    Notify(l.c, handle, path, "NV items", kOpToDevice,
           static_cast<int>(l.c->pending.size() * kNvDataSize));
    SetCode(resultCode, kOk);
    return 1;
}

QLIB_EXPORT unsigned char QLIB_NV_WriteNVsToMobile(void* handle, int* resultCode) {
    Locked l = Lock(handle);
    if (!l) return SetCode(resultCode, kBadHandle), 0;
    if (!l.c->loaded) return SetCode(resultCode, kNothingLoaded), 0;
    for (const NvItem& item : l.c->pending) {
        Bytes rsp;
        const auto r = l.c->link.Request(NvRequest(kCmdNvWrite, item.id, item.data.data()), rsp,
                                         kCommandTimeoutMs);
        if (r != DiagLink::Result::Ok) return SetCode(resultCode, CodeFor(r)), 0;
        if (NvStatus(rsp) != kNvDone) return SetCode(resultCode, kItemRefused), 0;
    }
    SetCode(resultCode, kOk);
    return 1;
}
