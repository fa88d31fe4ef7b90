#include "SimWiring.h"

#include "platform/StopSignal.h"

#if defined(GF_SIM_HAVE_EDL)
#include "EdlDevice.h"
#endif
#if defined(GF_SIM_HAVE_DIAG)
#include "DiagDevice.h"
#endif

namespace gf::sim {

ModeServers MakeModeServers() {
    ModeServers servers;
#if defined(GF_SIM_HAVE_EDL)
    servers.download = [](int masterFd, SimDeviceState& device, StopSignal& stop) {
        EdlSession session;
        session.storagePath = device.storagePath;
        session.storageBytes = device.storageBytes;
        session.knobs.bytesPerSecond = device.knobs.bytesPerSecond;
        session.knobs.stallAtPercent = device.knobs.stallAtPercent;
        session.knobs.nakCommand = device.knobs.nakCommand;
        session.knobs.vanishAtPercent = device.knobs.vanishAtPercent;
        session.log = device.log;
        switch (ServeEdl(masterFd, session, stop)) {
            case EdlOutcome::Reset:
                return SimOutcome::Reset;
            case EdlOutcome::Vanished:
                return SimOutcome::Vanished;
            case EdlOutcome::Stopped:
                break;
        }
        return SimOutcome::Stopped;
    };
#endif
#if defined(GF_SIM_HAVE_DIAG)
    servers.diag = [](int masterFd, SimDeviceState& device, StopSignal& stop) {
        DiagSession session;
        session.nv = &device.nv;
        session.nvMutex = &device.nvMutex;
        session.knobs.spcRefused = device.knobs.spcRefused;
        session.knobs.refuseSwitch = device.knobs.refuseSwitch;
        session.knobs.answerAtPoll = device.knobs.answerAtPoll;
        session.log = device.log;
        return ServeDiag(masterFd, session, stop) == DiagOutcome::SwitchToEdl
                   ? SimOutcome::SwitchToDownload
                   : SimOutcome::Stopped;
    };
#endif
    return servers;
}

ProgrammerWriter MakeProgrammerWriter() {
#if defined(GF_SIM_HAVE_EDL)
    return [](const std::string& path, std::string& error) {
        return MakeProgrammerImage(path, error);
    };
#else
    return {};
#endif
}

}  // namespace gf::sim
