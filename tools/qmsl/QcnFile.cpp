#include "QcnFile.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "diag/DiagFrame.h"

namespace gf::qmsl {

namespace {

constexpr const char* kMagic = "GANGFLASH-QCN 1";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool QcnFile::Save(const std::string& path, std::string& error) const {
    std::string text = std::string(kMagic) + "\nmultisim " + (multiSim ? "1" : "0") + "\n";
    static const char* hex = "0123456789abcdef";
    for (const NvItem& item : items) {
        text += "item " + std::to_string(item.id) + " ";
        for (std::size_t i = 0; i < gf::diag::kNvDataSize; ++i) {
            const uint8_t b = i < item.data.size() ? item.data[i] : 0;
            text += hex[b >> 4];
            text += hex[b & 0xF];
        }
        text += "\n";
    }
    text += "end " + std::to_string(items.size()) + "\n";

    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "cannot write " + tmp;
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + tmp + " to " + path;
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

bool QcnFile::Load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string line;
    if (!std::getline(in, line) || line != kMagic) {
        error = "not a QCN file of ours";
        return false;
    }
    if (!std::getline(in, line) || (line != "multisim 0" && line != "multisim 1")) {
        error = "missing multisim line";
        return false;
    }
    multiSim = line.back() == '1';
    items.clear();
    std::set<uint16_t> seen;
    bool ended = false;
    while (std::getline(in, line)) {
        if (ended) {
            error = "text after end";
            return false;
        }
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        if (word == "end") {
            std::size_t count = 0;
            if (!(fields >> count) || count != items.size()) {
                error = "item count does not match";
                return false;
            }
            ended = true;
            continue;
        }
        unsigned long id = 0;
        std::string hexText;
        if (word != "item" || !(fields >> id >> hexText) || id > 0xFFFF ||
            hexText.size() != 2 * gf::diag::kNvDataSize ||
            !seen.insert(static_cast<uint16_t>(id)).second) {
            error = "bad item line: " + line.substr(0, 40);
            return false;
        }
        NvItem item;
        item.id = static_cast<uint16_t>(id);
        for (std::size_t i = 0; i < hexText.size(); i += 2) {
            int hi = HexDigit(hexText[i]), lo = HexDigit(hexText[i + 1]);
            if (hi < 0 || lo < 0) {
                error = "bad hex in item " + std::to_string(id);
                return false;
            }
            item.data.push_back(static_cast<uint8_t>(hi << 4 | lo));
        }
        items.push_back(std::move(item));
    }
    if (!ended) {
        error = "file is truncated";
        return false;
    }
    return true;
}

}  // namespace gf::qmsl
