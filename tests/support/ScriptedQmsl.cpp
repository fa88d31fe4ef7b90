#include "ScriptedQmsl.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace gf::test {

struct ScriptedQmsl::Impl {
    mutable std::mutex mutex;
    Script script;
    std::vector<std::string> calls;
    std::vector<std::string> misuses;
    int nextHandle = 1;
    std::map<std::uintptr_t, int> polls;  // open handles and their poll counts
    std::map<std::uintptr_t, QmslEfsFileCallback> fileCallbacks;
    std::string loaded;
};

namespace {

ScriptedQmsl::Impl* g_active = nullptr;

std::string Name(QmslLibHandle h) {
    if (h == nullptr) return "null";
    return "h" + std::to_string(reinterpret_cast<std::uintptr_t>(h) - 0x1000);
}

// Records `call`; the caller holds the state's lock.
ScriptedQmsl::Impl& Record(const std::string& call) {
    ScriptedQmsl::Impl& s = *g_active;
    s.calls.push_back(call);
    return s;
}

// True for an open handle; any other non-null handle is a misuse.
bool CheckOpen(ScriptedQmsl::Impl& s, QmslLibHandle h, const std::string& call) {
    if (h == nullptr) return false;
    if (!s.polls.count(reinterpret_cast<std::uintptr_t>(h))) {
        s.misuses.push_back(call);
        return false;
    }
    return true;
}

void SetLibraryMode(unsigned char mode) {
    std::lock_guard lock(g_active->mutex);
    Record("SetLibraryMode " + std::to_string(mode));
}

void SetTargetType(unsigned char type) {
    std::lock_guard lock(g_active->mutex);
    Record("SetTargetType " + std::to_string(type));
}

QmslLibHandle ConnectServer(unsigned int port) {
    std::lock_guard lock(g_active->mutex);
    auto& s = Record("ConnectServer " + std::to_string(port));
    if (!s.script.connectGivesHandle) return nullptr;
    auto value = static_cast<std::uintptr_t>(0x1000 + s.nextHandle++);
    s.polls[value] = 0;
    return reinterpret_cast<QmslLibHandle>(value);
}

unsigned char ConfigureEfs2CallBacks(QmslLibHandle h, QmslEfsFileCallback file,
                                     QmslEfsDirCallback) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "ConfigureEfs2CallBacks " + Name(h);
    auto& s = Record(call);
    if (!CheckOpen(s, h, call)) return 0;
    s.fileCallbacks[reinterpret_cast<std::uintptr_t>(h)] = file;
    return 1;
}

unsigned char GetLibraryCapabilities(unsigned char* a, unsigned char* b, unsigned char* c,
                                     unsigned char* d) {
    std::lock_guard lock(g_active->mutex);
    Record("GetLibraryCapabilities");
    *a = *b = *c = 1;
    *d = 0;
    return 1;
}

unsigned char IsPhoneConnected(QmslLibHandle h) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "IsPhoneConnected " + Name(h);
    auto& s = Record(call);
    if (!CheckOpen(s, h, call)) return 0;
    int& n = s.polls[reinterpret_cast<std::uintptr_t>(h)];
    ++n;
    return s.script.answerAtPoll > 0 && n >= s.script.answerAtPoll;
}

void StopLogging(QmslLibHandle h) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "StopLogging " + Name(h);
    auto& s = Record(call);
    CheckOpen(s, h, call);
}

void DisconnectServer(QmslLibHandle h) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "DisconnectServer " + Name(h);
    auto& s = Record(call);
    if (CheckOpen(s, h, call)) {
        s.polls.erase(reinterpret_cast<std::uintptr_t>(h));
        s.fileCallbacks.erase(reinterpret_cast<std::uintptr_t>(h));
    }
}

unsigned char SwitchToEDL(QmslLibHandle h) {
    std::function<void()> onSwitch;
    bool accepted = false;
    {
        std::lock_guard lock(g_active->mutex);
        const std::string call = "SwitchToEDL " + Name(h);
        auto& s = Record(call);
        if (!CheckOpen(s, h, call)) return 0;
        onSwitch = s.script.onSwitch;
        accepted = s.script.switchAccepted;
    }
    if (onSwitch) onSwitch();
    return accepted;
}

unsigned char SpcF(QmslLibHandle h, unsigned char* spc, unsigned char* result) {
    std::lock_guard lock(g_active->mutex);
    const std::string call =
        "DIAG_SPC_F " + Name(h) + " " + std::string(reinterpret_cast<const char*>(spc), 6);
    auto& s = Record(call);
    if (!CheckOpen(s, h, call) || !s.script.spcExchanged) return 0;
    *result = s.script.spcAccepted ? 1 : 0;
    return 1;
}

unsigned char SetMultiSim(QmslLibHandle h, unsigned char on) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "NV_SetTargetSupportMultiSIM " + Name(h) + " " + std::to_string(on);
    auto& s = Record(call);
    return CheckOpen(s, h, call) && s.script.multiSimOk;
}

unsigned char Backup(QmslLibHandle h, char* path, int* code) {
    QmslEfsFileCallback callback = nullptr;
    std::string content;
    {
        std::lock_guard lock(g_active->mutex);
        const std::string call = "BackupNVFromMobileToQCN " + Name(h) + " " + path;
        auto& s = Record(call);
        if (!CheckOpen(s, h, call)) return 0;
        if (!s.script.backupOk) {
            *code = s.script.backupCode;
            return 0;
        }
        std::ofstream(path, std::ios::binary) << s.script.backupContent;
        content = s.script.backupContent;
        callback = s.fileCallbacks[reinterpret_cast<std::uintptr_t>(h)];
    }
    // As the library does: report the transfer through the job's callback.
    if (callback) {
        int size = static_cast<int>(content.size());
        callback("NV items", path, 1, 0, size, size, h);
    }
    return 1;
}

unsigned char Load(QmslLibHandle h, char* path, int* count, int* code) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "NV_LoadNVsFromQCN " + Name(h) + " " + path;
    auto& s = Record(call);
    if (!CheckOpen(s, h, call)) return 0;
    if (!s.script.loadOk) {
        *code = s.script.loadCode;
        return 0;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    s.loaded = text.str();
    *count = 1;
    return 1;
}

unsigned char Write(QmslLibHandle h, int* code) {
    std::lock_guard lock(g_active->mutex);
    const std::string call = "NV_WriteNVsToMobile " + Name(h);
    auto& s = Record(call);
    if (!CheckOpen(s, h, call)) return 0;
    if (!s.script.writeOk) {
        *code = s.script.writeCode;
        return 0;
    }
    return 1;
}

const QmslTable kTable = {
    SetLibraryMode,
    SetTargetType,
    ConnectServer,
    ConfigureEfs2CallBacks,
    GetLibraryCapabilities,
    IsPhoneConnected,
    StopLogging,
    DisconnectServer,
    SwitchToEDL,
    SpcF,
    SetMultiSim,
    Backup,
    Load,
    Write,
};

}  // namespace

ScriptedQmsl::ScriptedQmsl() : m_impl(new Impl) {
    if (g_active != nullptr) throw std::logic_error("one ScriptedQmsl at a time");
    g_active = m_impl;
}

ScriptedQmsl::~ScriptedQmsl() {
    g_active = nullptr;
    delete m_impl;
}

const QmslTable* ScriptedQmsl::Table() const {
    return &kTable;
}

void ScriptedQmsl::SetScript(const Script& script) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->script = script;
}

std::vector<std::string> ScriptedQmsl::Calls() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->calls;
}

int ScriptedQmsl::CountOf(const std::string& prefix) const {
    std::lock_guard lock(m_impl->mutex);
    int n = 0;
    for (const auto& c : m_impl->calls) n += c.rfind(prefix, 0) == 0;
    return n;
}

std::vector<std::string> ScriptedQmsl::Misuses() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->misuses;
}

std::vector<std::string> ScriptedQmsl::OpenHandles() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<std::string> out;
    for (const auto& [h, polls] : m_impl->polls)
        out.push_back(Name(reinterpret_cast<QmslLibHandle>(h)));
    return out;
}

std::string ScriptedQmsl::LoadedContent() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->loaded;
}

}  // namespace gf::test
