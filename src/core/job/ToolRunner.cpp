#include "job/ToolRunner.h"

#include <climits>
#include <cstring>
#include <exception>
#include <string_view>

#include "job/CommandLine.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/View.h"

namespace gf {

namespace {

std::string_view Trim(std::string_view s) {
    const char* ws = " \t\r\n\v\f";
    auto first = s.find_first_not_of(ws);
    if (first == std::string_view::npos) return {};
    auto last = s.find_last_not_of(ws);
    return s.substr(first, last - first + 1);
}

// Text from `begin` up to `end`, empty unless `end` lies at or after `begin`.
std::string_view Between(std::string_view line, std::size_t begin, std::size_t end) {
    if (end == std::string_view::npos || end < begin) return {};
    return line.substr(begin, end - begin);
}

// The tool's file name, for failure texts.
std::string ToolName(const std::string& commandLine) {
    auto args = SplitCommandLine(commandLine);
    if (args.empty()) return commandLine;
    auto slash = args[0].find_last_of("/\\");
    return slash == std::string::npos ? args[0] : args[0].substr(slash + 1);
}

}  // namespace

int StrToInt(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

void CDownloadProc::ShowErrorBox(const std::string& text) {
    std::string shown = text.substr(0, 254);
    SendToOwner([&](IJobOwner& owner) { owner.View().MessageBox(shown, kAppName, MB_OK); });
}

bool CDownloadProc::KillProcessByName(const std::string& name) {
    return m_services.processes != nullptr && m_services.processes->KillProcessByName(name);
}

bool CDownloadProc::ParseToolLine(const std::string& text, bool& done) {
    try {
        const std::string_view line(text);
        constexpr std::size_t npos = std::string_view::npos;

        if (auto p = line.find(kMarkerImage); p != npos) {
            const std::size_t begin = p + std::strlen(kMarkerImage);
            ShowStatus(kSlotWorking, std::string(Between(line, begin, line.find(kMarkerImageEnd))));
        }
        if (auto p = line.find(kMarkerPercent); p != npos) {
            const std::size_t begin = p + std::strlen(kMarkerPercent);
            SetPercent(StrToInt(std::string(Trim(Between(line, begin, line.find('.'))))));
        }
        if (line.find(kMarkerSaharaDone) != npos) {
            ShowStatus(kSlotWorking, kMarkerSaharaDone);
            m_services.clock->Sleep(kSaharaSettleMs, &Stop());
            done = true;
        }
        if (line.find(kMarkerCalledLike) != npos) {
            ShowStatus(kSlotWorking, kMarkerCalledLike);
        }
        if (auto p = line.find(kMarkerError); p != npos) {
            ShowStatus(kSlotFailed, std::string(Trim(line.substr(p + std::strlen(kMarkerError)))));
            return false;
        }
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    }
    return true;
}

bool CDownloadProc::RunTool(const std::string& commandLine) {
    std::unique_ptr<IToolProcess> tool;
    std::string error;
    bool pipeFailed = false;
    if (m_services.launcher != nullptr) {
        tool = m_services.launcher->Start(commandLine, WorkDir(), error, pipeFailed);
    }
    if (!tool) {
        ShowStatus(kSlotFailed, pipeFailed ? "CreatePipe FAIL!" : "CreateProcessA End!");
        return false;
    }

    std::memset(m_szLineBuf, 0, sizeof m_szLineBuf);
    m_nLineLen = 0;
    bool ok = true;
    bool done = false;
    // The line buffer keeps a terminating zero; a line that reaches this length
    // without a carriage return is handed on as it is.
    constexpr std::size_t kLineMax = sizeof m_szLineBuf - 1;
    auto handOn = [&] {
        ok = ParseToolLine(std::string(m_szLineBuf, m_nLineLen), done) && ok;
        std::memset(m_szLineBuf, 0, sizeof m_szLineBuf);
        m_nLineLen = 0;
    };

    char buffer[kToolReadSize];
    long count = 0;
    do {
        std::memset(buffer, 0, sizeof buffer);
        count = tool->Read(buffer, sizeof buffer, &Stop());
        WriteLog(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
        for (long i = 0; i < count; ++i) {
            if (m_nLineLen == kLineMax) handOn();
            if (ok && !done) {
                m_szLineBuf[m_nLineLen++] = buffer[i];
                if (buffer[i] == '\r') {
                    // The byte after the carriage return (normally the line feed)
                    // ends the line too, when it came in the same read and fits.
                    if (i + 1 < count && m_nLineLen < kLineMax) {
                        m_szLineBuf[m_nLineLen++] = buffer[++i];
                    }
                    handOn();
                }
            }
            if (!ok || done) break;
        }
    } while (ok && !done && count > 0);

    if (IsStopRequested()) return false;
    if (!ok || done) return ok;  // the tool is reaped later, when it ends or is killed

    const std::string name = ToolName(commandLine);
    if (count < 0) {
        ShowStatus(kSlotFailed, "Reading the output of " + name + " failed");
        return false;
    }
    // The output has ended: the tool's exit status decides.
    ExitStatus status;
    if (!tool->Wait(status, &Stop())) {
        if (!IsStopRequested()) ShowStatus(kSlotFailed, name + " exit status unknown");
        return false;
    }
    if (status.signaled) {
        ShowStatus(kSlotFailed, name + " killed by signal " + std::to_string(status.signal));
        return false;
    }
    if (status.code != 0) {
        ShowStatus(kSlotFailed, name + " exited with code " + std::to_string(status.code));
        return false;
    }
    return true;
}

}  // namespace gf
