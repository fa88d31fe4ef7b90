#pragma once

#include <string>

namespace gf::test {

// A fresh temporary directory that becomes the current directory for the
// test's life (the station finds its files relative to it). Removed afterwards.
class ScopedTempCwd {
public:
    ScopedTempCwd();
    ~ScopedTempCwd();
    ScopedTempCwd(const ScopedTempCwd&) = delete;
    ScopedTempCwd& operator=(const ScopedTempCwd&) = delete;
    const std::string& path() const { return m_path; }  // no trailing '/'

private:
    std::string m_path;
    std::string m_previous;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

}  // namespace gf::test
