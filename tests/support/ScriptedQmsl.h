#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "diag/QmslTable.h"

namespace gf::test {

// A diag library for job tests: answers the 14 functions from a script and
// records every call as a line ("ConnectServer 12", "IsPhoneConnected h1", ...).
// Handles are h1, h2, ... in the order of ConnectServer; a null handle prints
// as "null". Only one instance may exist at a time (the table holds plain
// function pointers).
class ScriptedQmsl {
public:
    struct Script {
        bool connectGivesHandle = true;
        int answerAtPoll = 1;  // the n-th poll of a connection answers; 0: never
        bool switchAccepted = true;
        bool spcExchanged = true;
        bool spcAccepted = true;
        bool multiSimOk = true;
        bool backupOk = true;
        int backupCode = 0;
        bool loadOk = true;
        int loadCode = 0;
        bool writeOk = true;
        int writeCode = 0;
        std::string backupContent = "scripted qcn\n";
        // Runs on every switch command, accepted or not, outside the library's
        // lock (a test moves its device into download mode here).
        std::function<void()> onSwitch;
    };

    ScriptedQmsl();
    ~ScriptedQmsl();
    ScriptedQmsl(const ScriptedQmsl&) = delete;
    ScriptedQmsl& operator=(const ScriptedQmsl&) = delete;

    const QmslTable* Table() const;
    void SetScript(const Script& script);
    std::vector<std::string> Calls() const;
    int CountOf(const std::string& prefix) const;
    // Uses of a handle after it was closed, and of an unknown handle.
    std::vector<std::string> Misuses() const;
    // Handles connected and not yet disconnected.
    std::vector<std::string> OpenHandles() const;
    // What the last load read from its file.
    std::string LoadedContent() const;

    struct Impl;  // the script's state, shared with the table's functions

private:
    Impl* m_impl;
};

}  // namespace gf::test
