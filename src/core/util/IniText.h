#pragma once

#include <optional>
#include <string>

namespace gf {

// Text-level work of the profile functions, kept apart from the file I/O.

// The value of `key` in `section` (names compared case-insensitively after
// trimming), trimmed and stripped of one pair of enclosing quotes.
std::optional<std::string> IniLookup(const std::string& text, const std::string& section,
                                     const std::string& key);

// `text` with `key` in `section` set to `value`: replaced in place, appended to
// the section, or appended with a new section. Line ends follow the text's own.
std::string IniSet(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value);

// GetPrivateProfileIntA's number: blanks, an optional sign, a 0x/0o/0b prefix
// or decimal digits; 0 when no digit follows; an empty value gives `def`.
unsigned ParseProfileInt(const std::string& value, int def);

std::string TrimBlanks(const std::string& s);
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace gf
