#include "EdlDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "EdlStorage.h"
#include "FirehoseTarget.h"
#include "ProgrammerImage.h"
#include "PtyLink.h"
#include "SaharaTarget.h"

namespace gf::sim {

namespace {
// Lets a freshly opened host finish setting up the port before HELLO arrives.
constexpr int kHelloDelayMs = 30;
}  // namespace

EdlOutcome ServeEdl(int masterFd, EdlSession& session, gf::StopSignal& stop) {
    auto log = [&session](const std::string& line) {
        if (session.log) session.log(line);
    };
    PtyLink link(masterFd, stop);
    EdlStorage storage;
    std::string error;
    if (!storage.Open(session.storagePath, session.storageBytes, error)) {
        log("edl: " + error);
        while (!stop.WaitFor(std::chrono::hours(1))) {
        }
        return EdlOutcome::Stopped;
    }
    SaharaTarget sahara(link, log);
    FirehoseTarget firehose(link, storage, session.knobs, log);
    bool inFirehose = false;
    for (;;) {
        try {
            link.WaitForHost();
            if (!inFirehose) {
                link.Pause(kHelloDelayMs);
                if (sahara.Run()) {
                    inFirehose = true;
                } else {
                    // A refused host leaves; the boot ROM starts over with a new HELLO.
                    sahara.AwaitRestart(500);
                }
                continue;
            }
            switch (firehose.Serve()) {
                case FirehoseTarget::Result::Reset:
                    log("edl: power reset");
                    return EdlOutcome::Reset;
                case FirehoseTarget::Result::Vanished:
                    return EdlOutcome::Vanished;
                case FirehoseTarget::Result::Stalled:
                    // Present but silent until the simulator stops the device.
                    while (!stop.WaitFor(std::chrono::hours(1))) {
                    }
                    return EdlOutcome::Stopped;
            }
        } catch (const LinkEvent& event) {
            if (event.kind == LinkEvent::Stopped) return EdlOutcome::Stopped;
            link.Buffer().clear();
            log("edl: host closed the port");
        }
    }
}

bool MakeProgrammerImage(const std::string& path, std::string& error) {
    const std::vector<uint8_t> image = ProgrammerImage::Build();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create '" + path + "': " + std::strerror(errno);
        return false;
    }
    ssize_t n = ::write(fd, image.data(), image.size());
    bool ok = n == static_cast<ssize_t>(image.size());
    if (!ok) error = "cannot write '" + path + "'";
    if (::close(fd) != 0 && ok) {
        error = "cannot write '" + path + "'";
        ok = false;
    }
    return ok;
}

}  // namespace gf::sim
