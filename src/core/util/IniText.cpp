#include "util/IniText.h"

#include <cctype>
#include <vector>

namespace gf {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

// Section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string> SectionOf(const std::string& line) {
    std::string t = TrimBlanks(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return TrimBlanks(t.substr(1, close - 1));
}

// Key of a "key=value" line, or nullopt.
std::optional<std::string> KeyOf(const std::string& line, std::string* value = nullptr) {
    std::string t = TrimBlanks(line);
    if (t.empty() || t.front() == ';') return std::nullopt;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    if (value != nullptr) *value = line.substr(eq + 1);
    return TrimBlanks(line.substr(0, eq));
}

}  // namespace

std::string TrimBlanks(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::optional<std::string> IniLookup(const std::string& text, const std::string& section,
                                     const std::string& key) {
    const std::string wantSection = TrimBlanks(section);
    const std::string wantKey = TrimBlanks(key);
    bool inSection = false;
    for (const std::string& line : SplitLines(text)) {
        if (auto s = SectionOf(line)) {
            inSection = EqualsNoCase(*s, wantSection);
            continue;
        }
        if (!inSection) continue;
        std::string raw;
        auto k = KeyOf(line, &raw);
        if (!k || !EqualsNoCase(*k, wantKey)) continue;
        std::string v = TrimBlanks(raw);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
            v = v.substr(1, v.size() - 2);
        }
        return v;
    }
    return std::nullopt;
}

std::string IniSet(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value) {
    const std::string eol = text.find("\r\n") != std::string::npos || text.empty() ? "\r\n" : "\n";
    const std::string wantSection = TrimBlanks(section);
    const std::string wantKey = TrimBlanks(key);
    const std::string entry = wantKey + "=" + value;
    std::vector<std::string> lines = SplitLines(text);

    bool inSection = false;
    long sectionLine = -1;
    long lastEntry = -1;  // last non-blank line of the section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto s = SectionOf(lines[i])) {
            if (inSection) break;
            inSection = EqualsNoCase(*s, wantSection);
            if (inSection) sectionLine = lastEntry = static_cast<long>(i);
            continue;
        }
        if (!inSection) continue;
        if (!TrimBlanks(lines[i]).empty()) lastEntry = static_cast<long>(i);
        auto k = KeyOf(lines[i]);
        if (k && EqualsNoCase(*k, wantKey)) {
            lines[i] = *k + "=" + value;  // the key keeps the spelling it has in the file
            sectionLine = -2;             // replaced
            break;
        }
    }
    if (sectionLine >= 0) {
        lines.insert(lines.begin() + lastEntry + 1, entry);
    } else if (sectionLine == -1) {
        lines.push_back("[" + wantSection + "]");
        lines.push_back(entry);
    }
    std::string out;
    for (const std::string& l : lines) out += l + eol;
    return out;
}

unsigned ParseProfileInt(const std::string& value, int def) {
    if (value.empty()) return static_cast<unsigned>(def);
    std::size_t i = 0;
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
    unsigned base = 10;
    if (i + 1 < value.size() && value[i] == '0') {
        char p = static_cast<char>(std::tolower(static_cast<unsigned char>(value[i + 1])));
        if (p == 'x') base = 16;
        if (p == 'o') base = 8;
        if (p == 'b') base = 2;
        if (base != 10) i += 2;
    }
    unsigned result = 0;
    for (; i < value.size(); ++i) {
        int c = std::tolower(static_cast<unsigned char>(value[i]));
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            break;
        }
        if (digit >= base) break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

}  // namespace gf
