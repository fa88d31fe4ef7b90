#include "ProfileFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "util/IniText.h"

namespace gf {

namespace {

// An open, flock-ed profile file; unlocked and closed on destruction.
class LockedFile {
public:
    LockedFile(const std::string& path, bool write) {
        m_fd = ::open(path.c_str(), (write ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644);
        if (m_fd < 0) return;
        while (::flock(m_fd, write ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~LockedFile() {
        if (m_fd >= 0) ::close(m_fd);  // closing drops the lock
    }
    bool ok() const { return m_fd >= 0; }

    bool ReadAll(std::string& out) {
        out.clear();
        char buf[4096];
        off_t pos = 0;
        for (;;) {
            ssize_t n = ::pread(m_fd, buf, sizeof buf, pos);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            out.append(buf, static_cast<std::size_t>(n));
            pos += n;
        }
    }

    bool Replace(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::pwrite(m_fd, text.data() + done, text.size() - done,
                                 static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return ::ftruncate(m_fd, static_cast<off_t>(text.size())) == 0;
    }

private:
    int m_fd = -1;
};

std::optional<std::string> Lookup(const std::string& file, const std::string& section,
                                  const std::string& key) {
    LockedFile f(file, false);
    std::string text;
    if (!f.ok() || !f.ReadAll(text)) return std::nullopt;
    return IniLookup(text, section, key);
}

}  // namespace

unsigned ProfileFile::GetInt(const std::string& file, const std::string& section,
                             const std::string& key, int def) {
    auto v = Lookup(file, section, key);
    if (!v) return static_cast<unsigned>(def);
    return ParseProfileInt(*v, def);
}

std::string ProfileFile::GetString(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& def) {
    std::string v = Lookup(file, section, key).value_or(def);
    if (v.size() > 259) v.resize(259);  // the callers' 260-byte buffers
    return v;
}

bool ProfileFile::WriteString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& value) {
    LockedFile f(file, true);
    std::string text;
    if (!f.ok() || !f.ReadAll(text)) return false;
    std::string updated = IniSet(text, section, key, value);
    if (updated == text) return true;
    return f.Replace(updated);
}

}  // namespace gf
