#include "job/LoaderStage.h"

#include "job/CommandLine.h"
#include "job/DownloadProc.h"
#include "job/JobOwner.h"
#include "job/ToolRunner.h"
#include "platform/DeviceTree.h"

namespace gf {

namespace {

constexpr const char* kFirehoseOptions =
    " --noprompt --showpercentagecomplete --zlpawarehost=1 --memoryname=eMMC";

std::string Q(const std::string& prefix, const std::string& value) {
    return QuoteArgument(prefix + value);
}

}  // namespace

LoaderCommands BuildLoaderCommands(const LoaderInputs& in) {
    const std::string fh = QuoteArgument(in.firehosePath);
    const std::string port = Q("--port=", in.portName);
    const std::string search = Q("--search_path=", in.packageDir);
    LoaderCommands c;
    c.sahara = QuoteArgument(in.saharaPath) + " -p " + QuoteArgument(in.portName) + " -s " +
               Q("13:", in.programmer);
    // The wiping variant has two blanks after the tool path.
    c.rawProgram = fh + (in.erase ? "  " : " ") + port + " " + Q("--sendxml=", in.rawProgram) +
                   " " + search + kFirehoseOptions + (in.erase ? " --wipefirst" : "");
    c.patch = fh + " " + port + " " + Q("--sendxml=", in.patch) + " " + search + kFirehoseOptions;
    c.activate = fh + " " + port + kFirehoseOptions + " --setactivepartition=0" +
                 (in.reset ? " --reset" : "");
    return c;
}

std::string CDownloadProc::PortName(int port) {
    if (m_services.devices != nullptr) {
        for (const DeviceNode& node : m_services.devices->Snapshot()) {
            if (node.isComPort && node.comNumber == port && !node.devicePath.empty()) {
                return node.devicePath;
            }
        }
    }
    return "\\\\.\\COM" + std::to_string(port);
}

bool CDownloadProc::RunLoaderStage(int port) {
    LoaderInputs in;
    in.saharaPath = WorkDir() + SaharaToolName(m_nSlot);
    in.firehosePath = WorkDir() + FirehoseToolName(m_nSlot);
    in.portName = PortName(port);
    in.programmer = m_strProgrammer;
    in.rawProgram = m_strRawProgram;
    in.patch = m_strPatch;
    in.packageDir = m_strPackageDir;
    in.erase = m_bErase != 0;
    in.reset = m_bReset != 0;
    const LoaderCommands commands = BuildLoaderCommands(in);

    ShowStatus(kSlotWorking, commands.sahara);
    SetPercent(0);
    if (!RunTool(commands.sahara) || IsStopRequested()) return false;
    for (const std::string* run : {&commands.rawProgram, &commands.patch, &commands.activate}) {
        ShowStatus(kSlotWorking, *run);
        if (!RunTool(*run) || IsStopRequested()) return false;
    }
    ShowStatus(kSlotWorking, "Download files successfully.");
    return true;
}

}  // namespace gf
