#pragma once

#include "platform/Process.h"

namespace gf {

// Starts tools with posix_spawn: argv from the Windows-rule split of the
// command line, the working directory set in the child, stdin from /dev/null,
// stdout and stderr on one pipe made with O_CLOEXEC so that tools started at
// the same moment by other slots never hold each other's write ends.
class ProcessLauncher : public IProcessLauncher {
public:
    std::unique_ptr<IToolProcess> Start(const std::string& commandLine, const std::string& workDir,
                                        std::string& error, bool& pipeFailed) override;
};

}  // namespace gf
