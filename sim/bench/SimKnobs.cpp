#include "SimKnobs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace gf::sim {

namespace {

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

bool ParseInt(const std::string& text, int min, int max, int& out) {
    uint64_t v = 0;
    if (!ParseUnsigned(text, static_cast<uint64_t>(max), v) || static_cast<int>(v) < min) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

// A byte count with an optional K/M/G suffix (powers of 1024).
bool ParseSize(const std::string& text, uint64_t& out) {
    if (text.empty()) return false;
    uint64_t unit = 1;
    std::string digits = text;
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
        case 'K':
            unit = 1ull << 10;
            break;
        case 'M':
            unit = 1ull << 20;
            break;
        case 'G':
            unit = 1ull << 30;
            break;
        default:
            break;
    }
    if (unit != 1) digits.pop_back();
    uint64_t v = 0;
    if (!ParseUnsigned(digits, (1ull << 50) / unit, v) || v == 0) return false;
    out = v * unit;
    return true;
}

bool IsAlnum(const std::string& text) {
    if (text.empty() || text.size() > 64) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Applies one key to `k`; false on an unknown key or a bad value.
bool Apply(const std::string& key, const std::string& value, bool hasValue, DeviceKnobs& k) {
    auto flag = [&](bool& field) {
        if (hasValue) return false;
        field = true;
        return true;
    };
    if (key == "refuse-switch") return flag(k.refuseSwitch);
    if (key == "no-return") return flag(k.noReturn);
    if (!hasValue) return false;
    if (key == "mode") return ParseMode(value, k.mode);
    if (key == "serial") {
        if (!IsAlnum(value)) return false;
        k.serial = value;
        return true;
    }
    if (key == "socket") return ParseInt(value, 1, 127, k.socket);
    if (key == "return-socket") return ParseInt(value, 1, 127, k.returnSocket);
    if (key == "storage") {
        uint64_t v = 0;
        if (!ParseSize(value, v) || v % 512 != 0) return false;
        k.storageBytes = v;
        return true;
    }
    if (key == "pid") {
        if (value.empty() || value.size() > 4) return false;
        char* end = nullptr;
        unsigned long v = std::strtoul(value.c_str(), &end, 16);
        if (*end != '\0' || v == 0 || v == 0x9008) return false;
        k.diagPid = static_cast<uint16_t>(v);
        return true;
    }
    if (key == "rate") {
        uint64_t v = 0;
        if (!ParseSize(value, v)) return false;
        k.bytesPerSecond = static_cast<double>(v);
        return true;
    }
    if (key == "stall") return ParseInt(value, 0, 100, k.stallAtPercent);
    if (key == "vanish") return ParseInt(value, 0, 100, k.vanishAtPercent);
    if (key == "answer-at") return ParseInt(value, 1, 1000000, k.answerAtPoll);
    if (key == "nak") {
        if (!IsAlnum(value)) return false;
        k.nakCommand = value;
        return true;
    }
    if (key == "spc-refused") {
        if (value.size() != 6 || !IsAlnum(value)) return false;
        k.spcRefused = value;
        return true;
    }
    if (key == "return-mode") {
        SimMode m{};
        if (!ParseMode(value, m) || m == SimMode::Absent) return false;
        k.returnMode = m;
        return true;
    }
    return false;
}

}  // namespace

const char* ModeName(SimMode mode) {
    switch (mode) {
        case SimMode::Absent:
            return "absent";
        case SimMode::Diag:
            return "diag";
        case SimMode::Download:
            return "download";
    }
    return "absent";
}

bool ParseMode(const std::string& text, SimMode& mode) {
    for (SimMode m : {SimMode::Absent, SimMode::Diag, SimMode::Download}) {
        if (text == ModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

bool BenchKnobs::Parse(const std::string& text, std::string& error) {
    std::vector<Item> parsed;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        std::string raw = Trim(text.substr(pos, comma - pos));
        pos = comma + 1;
        if (raw.empty()) {
            if (comma == text.size()) break;
            continue;
        }
        Item item{0, {}, {}, false};
        std::string rest = raw;
        size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            std::string prefix = rest.substr(0, colon);
            if (prefix.rfind("dev", 0) != 0 || !ParseInt(prefix.substr(3), 1, 1000, item.device)) {
                error = "bad device in knob '" + raw + "'";
                return false;
            }
            rest = rest.substr(colon + 1);
        }
        size_t eq = rest.find('=');
        item.key = rest.substr(0, eq);
        if (eq != std::string::npos) {
            item.value = rest.substr(eq + 1);
            item.hasValue = true;
        }
        DeviceKnobs scratch;
        if (!Apply(item.key, item.value, item.hasValue, scratch)) {
            error = "bad knob '" + raw + "'";
            return false;
        }
        parsed.push_back(item);
    }
    m_items.insert(m_items.end(), parsed.begin(), parsed.end());
    return true;
}

DeviceKnobs BenchKnobs::For(int number) const {
    DeviceKnobs k;
    for (int pass = 0; pass < 2; ++pass) {
        for (const Item& item : m_items) {
            bool mine = pass == 0 ? item.device == 0 : item.device == number;
            if (mine) Apply(item.key, item.value, item.hasValue, k);
        }
    }
    return k;
}

int BenchKnobs::HighestDevice() const {
    int highest = 0;
    for (const Item& item : m_items) highest = std::max(highest, item.device);
    return highest;
}

bool ParseSimulateArgument(const std::string& text, int maxCount, int& count, BenchKnobs& knobs,
                           std::string& error) {
    size_t comma = text.find(',');
    std::string head = Trim(text.substr(0, comma));
    int n = 0;
    if (!ParseInt(head, 1, maxCount, n)) {
        error = "device count must be 1 to " + std::to_string(maxCount) + ", not '" + head + "'";
        return false;
    }
    BenchKnobs parsed;
    if (comma != std::string::npos && !parsed.Parse(text.substr(comma + 1), error)) return false;
    if (parsed.HighestDevice() > n) {
        error = "knob for dev" + std::to_string(parsed.HighestDevice()) + " but only " +
                std::to_string(n) + " devices";
        return false;
    }
    count = n;
    knobs = parsed;
    return true;
}

}  // namespace gf::sim
