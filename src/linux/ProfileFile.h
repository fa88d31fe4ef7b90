#pragma once

#include "platform/Profile.h"

namespace gf {

// Profile files on disk. Each call opens the file, takes an flock (shared for
// reads, exclusive for writes) and rewrites it in place, so concurrent writers
// in this or other processes never lose each other's keys.
class ProfileFile : public IProfile {
public:
    unsigned GetInt(const std::string& file, const std::string& section, const std::string& key,
                    int def) override;
    std::string GetString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) override;
    bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override;
};

}  // namespace gf
