#include "package/PackageFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace gf {

namespace {

bool SameCharNoCase(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

bool WildcardMatchNoCase(std::string_view pattern, std::string_view name) {
    // Greedy matching with one backtrack point: the last '*' seen.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || SameCharNoCase(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> FindPackageMatches(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(
        dir.empty() ? std::filesystem::path(".") : std::filesystem::path(dir), ec);
    if (ec) return names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (!WildcardMatchNoCase(pattern, name)) continue;
        if (dir.size() + name.size() >= kMaxPackagePath) continue;
        std::error_code typeEc;
        if (it->is_directory(typeEc)) continue;  // follows symlinks
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool PackageFileExists(const std::string& path) {
    if (path.empty() || path.size() >= kMaxPackagePath) return false;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace gf
