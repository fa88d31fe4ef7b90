#include "UserStoreFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "util/IniText.h"

namespace gf {

namespace {

bool HasLineBreakOrZero(const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool UsableKey(const std::string& key) {
    return !TrimBlanks(key).empty() && !HasLineBreakOrZero(key) &&
           key.find(']') == std::string::npos;
}

bool UsableName(const std::string& name) {
    const std::string t = TrimBlanks(name);
    return !t.empty() && !HasLineBreakOrZero(name) && name.find('=') == std::string::npos &&
           t.front() != ';' && t.front() != '[';
}

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
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

// An flock on a directory, held for the object's life.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& dir) {
        m_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) return;
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~DirectoryLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace

UserStoreFile::UserStoreFile(std::string path) : m_path(std::move(path)) {}

std::string UserStoreFile::DefaultPath() {
    std::string base;
    // XDG_CONFIG_HOME counts only when it is an absolute path.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/gangflash/registry.ini";
}

std::optional<std::string> UserStoreFile::Get(const std::string& key, const std::string& name) {
    if (!UsableKey(key) || !UsableName(name)) return std::nullopt;
    std::lock_guard lock(m_mutex);
    const std::optional<std::string> text = ReadText(m_path);
    if (!text) return std::nullopt;
    return IniLookup(*text, key, name);
}

bool UserStoreFile::Set(const std::string& key, const std::string& name, const std::string& value) {
    if (!UsableKey(key) || !UsableName(name) || HasLineBreakOrZero(value)) return false;
    std::lock_guard lock(m_mutex);

    const std::filesystem::path file(m_path);
    const std::filesystem::path dir =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return false;

    DirectoryLock dirLock(dir.string());
    if (!dirLock.ok()) return false;
    const std::string text = IniSet(ReadText(m_path).value_or(""), key, name, "\"" + value + "\"");

    std::string tmp = m_path + ".XXXXXX";  // created with mode 0600
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(tmp.c_str(), m_path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace gf
