#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace gf {

// Paths of this many bytes or more are treated as absent, as the fixed
// 260-byte path buffers of the package handling cannot hold them.
constexpr std::size_t kMaxPackagePath = 260;

// Wildcard match the way a Windows directory search does it: '*' matches any
// run of characters, '?' exactly one; letters compare without regard to case.
bool WildcardMatchNoCase(std::string_view pattern, std::string_view name);

// Names of the entries of `dir` (a directory ending in '/', or empty for the
// current directory) that match `pattern` and are not directories, sorted.
// An entry whose full path would reach kMaxPackagePath is left out; an
// unreadable or missing directory gives no names.
std::vector<std::string> FindPackageMatches(const std::string& dir, const std::string& pattern);

// True when something other than a directory exists at `path` and the path is
// shorter than kMaxPackagePath.
bool PackageFileExists(const std::string& path);

}  // namespace gf
