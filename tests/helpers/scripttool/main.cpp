// scripttool: plays a scripted loader tool.
//
// The script is "<own name>.script" in the working directory (so a copy named
// firehorse3 reads firehorse3.script), or the file after a first argument
// "--script". Each run first appends one line to "<own name>.args" in the
// working directory: "pid=<pid>" and every argument in brackets; the number of
// lines already there is the run's index. It also appends to "<own name>.fds"
// one line naming what its descriptors above 2 refer to (e.g. pipe:[123]).
// Commands, one per line:
//   run N | run *       following commands apply to run N only / to every run
//   out TEXT            write TEXT in one write (escapes \r \n \t \\ \xHH)
//   lines N MS TEXT     write TEXT N times, pausing MS ms after each
//   flood BYTES         write BYTES bytes of 64-byte lines as fast as possible
//   sleep MS            pause
//   closeout            close stdout and stderr, go on running
//   hang                wait until killed
//   signal SIG          die by signal SIG
//   exit CODE           exit with CODE (the default end is exit 0)
// Standard input is never read.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        if (c == 'r') {
            out += '\r';
        } else if (c == 'n') {
            out += '\n';
        } else if (c == 't') {
            out += '\t';
        } else if (c == 'x' && i + 2 < s.size()) {
            out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

void WriteAll(const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(1, p, left);
        if (n <= 0) std::exit(3);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void Pause(long ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
    std::string self = argv[0];
    if (auto slash = self.rfind('/'); slash != std::string::npos) self = self.substr(slash + 1);
    std::string scriptPath = self + ".script";
    if (argc > 2 && std::strcmp(argv[1], "--script") == 0) scriptPath = argv[2];

    int runIndex = 0;
    {
        std::ifstream prev(self + ".args");
        std::string l;
        while (std::getline(prev, l)) ++runIndex;
    }
    {
        std::ofstream args(self + ".args", std::ios::app);
        args << "pid=" << ::getpid();
        for (int i = 1; i < argc; ++i) args << " [" << argv[i] << "]";
        args << "\n";
    }

    {
        std::ofstream fds(self + ".fds", std::ios::app);
        for (int fd = 3; fd < 1024; ++fd) {
            char target[256];
            std::string link = "/proc/self/fd/" + std::to_string(fd);
            ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0) fds << std::string(target, static_cast<std::size_t>(n)) << " ";
        }
        fds << "\n";
    }

    std::ifstream script(scriptPath);
    std::string line;
    bool active = true;
    while (std::getline(script, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        auto rest = [&] {
            std::string r;
            std::getline(in, r);
            return r.empty() ? r : r.substr(1);
        };
        if (cmd == "run") {
            std::string which;
            in >> which;
            active = which == "*" || std::atoi(which.c_str()) == runIndex;
            continue;
        }
        if (!active || cmd.empty() || cmd[0] == '#') continue;
        if (cmd == "out") {
            WriteAll(Unescape(rest()));
        } else if (cmd == "lines") {
            long n = 0, ms = 0;
            in >> n >> ms;
            std::string text = Unescape(rest());
            for (long i = 0; i < n; ++i) {
                WriteAll(text);
                if (ms > 0) Pause(ms);
            }
        } else if (cmd == "flood") {
            long long total = 0;
            in >> total;
            std::string chunk;
            while (chunk.size() < 64 * 1024) chunk += std::string(62, 'x') + "\r\n";
            while (total > 0) {
                auto n = static_cast<std::size_t>(std::min<long long>(total, chunk.size()));
                WriteAll(chunk.substr(0, n));
                total -= static_cast<long long>(n);
            }
        } else if (cmd == "sleep") {
            long ms = 0;
            in >> ms;
            Pause(ms);
        } else if (cmd == "closeout") {
            ::close(1);
            ::close(2);
        } else if (cmd == "hang") {
            for (;;) ::pause();
        } else if (cmd == "signal") {
            int sig = 0;
            in >> sig;
            ::signal(sig, SIG_DFL);
            ::kill(::getpid(), sig);
            Pause(1000);
        } else if (cmd == "exit") {
            int code = 0;
            in >> code;
            return code;
        } else {
            std::fprintf(stderr, "scripttool: unknown command %s\n", cmd.c_str());
            return 99;
        }
    }
    return 0;
}
