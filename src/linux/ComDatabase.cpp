#include "ComDatabase.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

namespace gf {

namespace {

// Closes the descriptor (and so drops the flock) on every path out.
class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string ReadAll(int fd) {
    std::string text;
    char buf[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Tabs and line ends would break the line format; sysfs names never hold
// them, but a USB serial number could.
std::string Clean(std::string s) {
    for (char& c : s) {
        if (c == '\t' || c == '\n' || c == '\r') c = '_';
    }
    return s;
}

}  // namespace

ComDatabase::ComDatabase(std::string path) : m_path(std::move(path)) {}

std::string ComDatabase::DefaultPath() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.local/state";
    }
    return base + "/gangflash/comports.db";
}

int ComDatabase::Assign(const std::string& usbLocation, const std::string& usbId,
                        int interfaceNumber) {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);

    FdGuard fd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0) return 0;
    // A separate open file description per call: flock excludes other threads
    // of this process as well as other processes.
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return 0;
    }

    const std::string location = Clean(usbLocation);
    const std::string id = Clean(usbId);
    const std::string iface = std::to_string(interfaceNumber);

    const std::string text = ReadAll(fd.get());
    std::set<int> used;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string loc, uid, ifn, num;
        if (!std::getline(fields, loc, '\t') || !std::getline(fields, uid, '\t') ||
            !std::getline(fields, ifn, '\t') || !std::getline(fields, num)) {
            continue;  // a torn or foreign line: ignore it
        }
        const int n = std::atoi(num.c_str());
        if (n < 1) continue;
        if (loc == location && uid == id && ifn == iface) return n;
        used.insert(n);
    }

    int number = 1;
    while (used.count(number) != 0) ++number;

    // Append after whatever the file holds; an unterminated last line (a
    // writer that died mid-line) is closed first so the new line stays whole.
    std::string entry;
    if (!text.empty() && text.back() != '\n') entry += '\n';
    entry += location + '\t' + id + '\t' + iface + '\t' + std::to_string(number) + '\n';
    ::lseek(fd.get(), 0, SEEK_END);
    if (!WriteAll(fd.get(), entry)) return 0;
    ::fsync(fd.get());
    return number;
}

}  // namespace gf
