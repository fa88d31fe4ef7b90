#include "TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace gf::test {

ScopedTempCwd::ScopedTempCwd() {
    char tmpl[] = "/tmp/gftest.XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(m_path);
}

ScopedTempCwd::~ScopedTempCwd() {
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace gf::test
