#pragma once

#include <string>

namespace gf {

// Initialisation files with the semantics of the Windows profile functions:
// section and key names are compared case-insensitively after trimming blanks,
// values are trimmed, a missing file or key gives the default, and every write
// is one atomic read-modify-write of the whole file that never loses another
// writer's keys, also across threads and processes.
class IProfile {
public:
    virtual ~IProfile() = default;
    // GetPrivateProfileIntA: leading sign and decimal digits of the value
    // (0 when there are none); `def` when the file or key is missing.
    virtual unsigned GetInt(const std::string& file, const std::string& section,
                            const std::string& key, int def) = 0;
    // GetPrivateProfileStringA with a 260-byte buffer.
    virtual std::string GetString(const std::string& file, const std::string& section,
                                  const std::string& key, const std::string& def) = 0;
    // WritePrivateProfileStringA: creates the file and section when missing;
    // false when the file cannot be written (for example a missing directory).
    virtual bool WriteString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value) = 0;
};

}  // namespace gf
