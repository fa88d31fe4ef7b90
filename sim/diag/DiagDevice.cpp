#include "DiagDevice.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "diag/DiagFrame.h"

namespace gf::sim {

namespace {

using Bytes = std::vector<uint8_t>;
using namespace gf::diag;
using std::chrono::milliseconds;

constexpr int kIdleMs = 20;
constexpr auto kClosedRetry = milliseconds(20);
constexpr auto kSwitchGrace = std::chrono::seconds(1);

class DiagServer {
public:
    DiagServer(int fd, DiagSession& session, gf::StopSignal& stop)
        : m_fd(fd), m_session(session), m_stop(stop) {}

    DiagOutcome Serve() {
        std::vector<Bytes> requests;
        uint8_t buf[1024];
        while (!m_stop.IsRequested()) {
            pollfd p{m_fd, POLLIN, 0};
            int r = ::poll(&p, 1, kIdleMs);
            if (r < 0 && errno != EINTR) return DiagOutcome::Stopped;
            if (r <= 0) continue;
            if (p.revents & POLLIN) {
                ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n > 0) {
                    m_decoder.Feed(buf, static_cast<std::size_t>(n), requests);
                    for (const Bytes& req : requests) {
                        if (Handle(req)) return AfterSwitch();
                    }
                    requests.clear();
                    continue;
                }
            }
            if (p.revents & (POLLHUP | POLLERR | POLLIN)) {
                // The host has the port closed: a new connection starts afresh.
                OnHostClosed();
                m_stop.WaitFor(kClosedRetry);
            }
        }
        return DiagOutcome::Stopped;
    }

private:
    void Log(const std::string& text) {
        if (m_session.log) m_session.log(text);
    }

    void OnHostClosed() {
        m_decoder.Reset();
        if (m_spcUnlocked) Log("diag: host closed the port");
        m_spcUnlocked = false;
    }

    void Reply(const Bytes& payload) {
        const Bytes frame = EncodeFrame(payload);
        std::size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (done < frame.size() && std::chrono::steady_clock::now() < deadline) {
            ssize_t n = ::write(m_fd, frame.data() + done, frame.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;  // the host is gone; it will ask again
            } else {
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, kIdleMs);
            }
        }
    }

    void BadCommand(const Bytes& req, uint8_t code = kCmdBadCommand) {
        Bytes rsp{code};
        rsp.insert(rsp.end(), req.begin(), req.end());
        Reply(rsp);
    }

    // Handles one request; true when the device switches to download mode.
    bool Handle(const Bytes& req) {
        switch (req[0]) {
            case kCmdStatus:
            case kCmdVersion:
                return Poll(req), false;
            case kCmdSpc:
                return Spc(req), false;
            case kCmdNvRead:
            case kCmdNvWrite:
                return Nv(req), false;
            case kCmdDload:
                return Switch(req);
            case kCmdSubsys:
                if (req.size() >= 4 && req[1] == kSubsysSystemOps && req[2] == 0x01 && req[3] == 0)
                    return Switch(req);
                break;
            case kCmdControl:
                if (req.size() == 3) return Reply(req), false;
                break;
            default:
                break;
        }
        BadCommand(req);
        return false;
    }

    void Poll(const Bytes& req) {
        ++m_polls;
        if (m_polls < m_session.knobs.answerAtPoll) {
            Log("diag: poll " + std::to_string(m_polls) + " left unanswered");
            return;
        }
        Bytes rsp(req[0] == kCmdVersion ? 55 : 24, 0);
        rsp[0] = req[0];
        if (req[0] == kCmdVersion) std::memcpy(&rsp[39], "GFSIM   ", 8);
        Reply(rsp);
    }

    void Spc(const Bytes& req) {
        if (req.size() != 7) return BadCommand(req, kCmdBadLength);
        const std::string code(req.begin() + 1, req.end());
        const bool accepted = code != m_session.knobs.spcRefused;
        m_spcUnlocked = m_spcUnlocked || accepted;
        Log("diag: SPC " + code + (accepted ? " accepted" : " refused"));
        Reply({kCmdSpc, static_cast<uint8_t>(accepted ? 1 : 0)});
    }

    void Nv(const Bytes& req) {
        if (req.size() != kNvPacketSize) return BadCommand(req, kCmdBadLength);
        if (req[0] == kCmdNvWrite && !m_spcUnlocked) return BadCommand(req, kCmdBadSpcMode);
        const uint16_t id = static_cast<uint16_t>(req[1] | (req[2] << 8));
        Bytes rsp = req;
        uint16_t status = kNvDone;
        {
            std::lock_guard lock(*m_session.nvMutex);
            auto& store = *m_session.nv;
            auto it = store.find(id);
            if (req[0] == kCmdNvRead) {
                std::fill(rsp.begin() + 3, rsp.begin() + 3 + kNvDataSize, 0);
                if (it == store.end()) {
                    status = kNvInactive;
                } else {
                    std::copy(it->second.begin(), it->second.end(), rsp.begin() + 3);
                }
            } else {
                // An item keeps the size of its definition; a new one takes
                // the whole data field.
                const std::size_t size = it == store.end() ? kNvDataSize : it->second.size();
                store[id] = Bytes(req.begin() + 3, req.begin() + 3 + static_cast<long>(size));
            }
        }
        rsp[kNvPacketSize - 2] = static_cast<uint8_t>(status & 0xFF);
        rsp[kNvPacketSize - 1] = static_cast<uint8_t>(status >> 8);
        Reply(rsp);
    }

    bool Switch(const Bytes& req) {
        if (m_session.knobs.refuseSwitch) {
            Log("diag: switch to download mode refused");
            BadCommand(req);
            return false;
        }
        Log("diag: switching to download mode");
        Reply(req);
        return true;
    }

    // Gives the host time to read the answer before the port goes away.
    DiagOutcome AfterSwitch() {
        const auto deadline = std::chrono::steady_clock::now() + kSwitchGrace;
        while (std::chrono::steady_clock::now() < deadline && !m_stop.IsRequested()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, kIdleMs) > 0) {
                uint8_t buf[256];
                if ((p.revents & POLLIN) && ::read(m_fd, buf, sizeof buf) > 0) continue;
                if (p.revents & (POLLHUP | POLLERR | POLLIN)) break;
            }
        }
        return DiagOutcome::SwitchToEdl;
    }

    int m_fd;
    DiagSession& m_session;
    gf::StopSignal& m_stop;
    FrameDecoder m_decoder;
    int m_polls = 0;
    bool m_spcUnlocked = false;
};

}  // namespace

DiagOutcome ServeDiag(int masterFd, DiagSession& session, gf::StopSignal& stop) {
    return DiagServer(masterFd, session, stop).Serve();
}

}  // namespace gf::sim
