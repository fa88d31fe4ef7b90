#pragma once

#include <mutex>
#include <string>

#include "platform/UserStore.h"

namespace gf {

// The per-user store in one small INI file: a section per key, one entry per
// value name, the value in double quotes so that surrounding blanks survive.
// Writes replace the whole file through a temporary file and a rename, under
// an flock on the file's directory, so a reader never sees half a file.
class UserStoreFile : public IUserStore {
public:
    explicit UserStoreFile(std::string path);

    // $XDG_CONFIG_HOME/gangflash/registry.ini, or ~/.config/gangflash/registry.ini.
    static std::string DefaultPath();

    std::optional<std::string> Get(const std::string& key, const std::string& name) override;
    // False when the file cannot be written, or when the key, the name or the
    // value holds a character the file format cannot carry (line breaks, a
    // zero byte, ']' in a key, '=' in a name).
    bool Set(const std::string& key, const std::string& name, const std::string& value) override;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::mutex m_mutex;
};

}  // namespace gf
