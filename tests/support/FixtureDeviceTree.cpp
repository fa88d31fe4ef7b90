#include "FixtureDeviceTree.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>

#include "platform/Clock.h"
#include "ports/UsbNaming.h"

namespace gf::test {

namespace {

struct Line {
    std::vector<std::string> words;           // positional words
    std::map<std::string, std::string> keys;  // key=value
};

// Splits one line into words; "..." keeps blanks, key="..." too.
Line Split(const std::string& text, int number) {
    Line line;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size() || text[i] == '#') break;
        std::string word;
        const bool quoted = text[i] == '"';
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            if (text[i] == '"') {
                const std::size_t end = text.find('"', i + 1);
                if (end == std::string::npos) {
                    throw std::invalid_argument("line " + std::to_string(number) +
                                                ": unterminated quote");
                }
                word += text.substr(i + 1, end - i - 1);
                i = end + 1;
            } else {
                word += text[i++];
            }
        }
        const std::size_t eq = word.find('=');
        if (!quoted && eq != std::string::npos && eq > 0) {
            line.keys[word.substr(0, eq)] = word.substr(eq + 1);
        } else {
            line.words.push_back(word);
        }
    }
    return line;
}

std::vector<std::string> SplitList(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = s.find('|', start);
        out.push_back(s.substr(start, bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return out;
}

struct Hub {
    std::string id;
    std::string path;
    int number = 0;
};

class Parser {
public:
    std::vector<DeviceNode> Run(const std::string& text) {
        std::istringstream in(text);
        std::string raw;
        while (std::getline(in, raw)) {
            ++m_line;
            Line line = Split(raw, m_line);
            if (line.words.empty()) continue;
            const std::string& kind = line.words[0];
            if (kind == "hub") {
                AddHub(line);
            } else if (kind == "diag" || kind == "qdl" || kind == "usb") {
                AddUsb(line);
            } else if (kind == "port") {
                AddPort(line);
            } else if (kind == "node") {
                Need(line, 2);
                m_nodes.push_back(MakeHubNode(line.words[1], Key(line, "parent", "")));
            } else {
                Fail("unknown item '" + kind + "'");
            }
        }
        return std::move(m_nodes);
    }

private:
    [[noreturn]] void Fail(const std::string& why) {
        throw std::invalid_argument("bench line " + std::to_string(m_line) + ": " + why);
    }
    void Need(const Line& line, std::size_t words) {
        if (line.words.size() < words) Fail("too few words");
    }
    static std::string Key(const Line& line, const std::string& key, const std::string& def) {
        const auto it = line.keys.find(key);
        return it == line.keys.end() ? def : it->second;
    }
    unsigned Hex(const std::string& s) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(s.c_str(), &end, 16);
        if (s.empty() || *end != '\0') Fail("not a hex number: " + s);
        return static_cast<unsigned>(v);
    }
    int Com(const std::string& word) {
        if (word.rfind("COM", 0) != 0) Fail("expected COM<n>, got " + word);
        return std::atoi(word.c_str() + 3);
    }
    std::string NextDev(const Line& line) {
        const std::string dev = Key(line, "dev", "");
        return dev.empty() ? "/dev/ttyUSB" + std::to_string(m_nextTty++) : dev;
    }

    void AddHub(const Line& line) {
        Need(line, 2);
        bool usb3 = false;
        for (std::size_t i = 2; i < line.words.size(); ++i) usb3 = usb3 || line.words[i] == "usb3";
        Hub hub;
        hub.number = static_cast<int>(m_hubs.size()) + 1;
        hub.id = Key(line, "id", RootHubInstanceId(line.words[1], usb3));
        hub.path = "USBROOT(" + std::to_string(hub.number) + ")";
        m_hubs[line.words[1]] = hub;
        m_nodes.push_back(MakeHubNode(hub.id));
    }

    void AddUsb(const Line& line) {
        Need(line, 3);
        const std::string& kind = line.words[0];
        const std::string& at = line.words[1];
        const std::size_t colon = at.find(':');
        if (colon == std::string::npos) Fail("expected <hub>:<socket>, got " + at);
        const auto hub = m_hubs.find(at.substr(0, colon));
        if (hub == m_hubs.end()) Fail("unknown hub " + at.substr(0, colon));
        UsbPortFacts f;
        f.hubInstanceId = hub->second.id;
        f.hubPort = std::atoi(at.c_str() + colon + 1);
        f.hubNumber = hub->second.number;
        f.deviceLocationPath = hub->second.path + "#USB(" + std::to_string(f.hubPort) + ")";
        f.comNumber = Com(line.words[2]);
        f.serial = Key(line, "serial", "");
        f.devicePath = NextDev(line);
        f.bcdDevice = 0x0318;
        if (kind == "qdl") {
            f.vid = 0x05C6;
            f.pid = 0x9008;
            f.bcdDevice = 0;
        } else if (kind == "diag") {
            f.vid = 0x05C6;
            f.pid = Hex(Key(line, "pid", "901D"));
            f.interfaceCount = 3;
        } else {
            f.vid = Hex(Key(line, "vid", ""));
            f.pid = Hex(Key(line, "pid", ""));
            f.manufacturer = Key(line, "mfr", "");
            f.product = Key(line, "product", "");
            const std::string itf = Key(line, "if", "0/1");
            const std::size_t slash = itf.find('/');
            if (slash == std::string::npos) Fail("expected if=<i>/<count>");
            f.interfaceNumber = std::atoi(itf.c_str());
            f.interfaceCount = std::atoi(itf.c_str() + slash + 1);
        }
        AppendUsbPortNodes(f, m_nodes);
    }

    void AddPort(const Line& line) {
        Need(line, 2);
        const int com = Com(line.words[1]);
        DeviceNode n;
        n.isComPort = true;
        n.comNumber = com;
        n.devicePath = NextDev(line);
        n.instanceId = Key(line, "id", "FIXTURE\\PORT\\" + std::to_string(m_line));
        n.parentId = Key(line, "parent", "");
        auto text = [&](const std::string& key, const std::string& def) {
            const std::string v = Key(line, key, def);
            return v == "-" ? std::optional<std::string>() : std::optional<std::string>(v);
        };
        auto list = [&](const std::string& key, const std::string& def) {
            const std::string v = Key(line, key, def);
            return v == "-" ? std::vector<std::string>() : SplitList(v);
        };
        n.friendlyName = text("name", "USB Serial Device (COM" + std::to_string(com) + ")");
        n.deviceDesc = text("desc", "USB Serial Device");
        n.hardwareIds = list("hwid", "USB\\VID_1234&PID_5678");
        n.locationInfo = text("loc", "USB Port_#0001.Hub_#0001");
        n.locationPaths = list("paths", "-");
        m_nodes.push_back(std::move(n));
    }

    int m_line = 0;
    int m_nextTty = 0;
    std::map<std::string, Hub> m_hubs;
    std::vector<DeviceNode> m_nodes;
};

}  // namespace

FixtureDeviceTree::FixtureDeviceTree(const std::string& text) : m_nodes(Parse(text)) {}

std::vector<DeviceNode> FixtureDeviceTree::Parse(const std::string& text) {
    return Parser().Run(text);
}

void FixtureDeviceTree::Set(const std::string& text) {
    std::vector<DeviceNode> nodes = Parse(text);
    std::lock_guard lock(m_mutex);
    m_nodes = std::move(nodes);
    m_stages.clear();
}

void FixtureDeviceTree::SetAt(IClock& clock, std::chrono::milliseconds after,
                              const std::string& text) {
    Stage stage{&clock, clock.Now() + after, Parse(text)};
    std::lock_guard lock(m_mutex);
    m_stages.push_back(std::move(stage));
}

void FixtureDeviceTree::Fail(int error) {
    std::lock_guard lock(m_mutex);
    m_error = error;
}

const std::vector<DeviceNode>& FixtureDeviceTree::Current() {
    // Stages that have come due replace the bench, in the order they were set.
    std::size_t keep = 0;
    for (std::size_t i = 0; i < m_stages.size(); ++i) {
        if (m_stages[i].clock->Now() >= m_stages[i].due) {
            m_nodes = std::move(m_stages[i].nodes);
        } else {
            if (keep != i) m_stages[keep] = std::move(m_stages[i]);
            ++keep;
        }
    }
    m_stages.resize(keep);
    return m_nodes;
}

std::vector<DeviceNode> FixtureDeviceTree::Snapshot() {
    std::lock_guard lock(m_mutex);
    ++m_snapshots;
    if (m_error != 0) return {};
    return Current();
}

bool FixtureDeviceTree::TrySnapshot(std::vector<DeviceNode>& nodes, int& error) {
    std::lock_guard lock(m_mutex);
    ++m_snapshots;
    error = m_error;
    nodes.clear();
    if (m_error != 0) return false;
    nodes = Current();
    return true;
}

int FixtureDeviceTree::SnapshotCount() const {
    std::lock_guard lock(m_mutex);
    return m_snapshots;
}

}  // namespace gf::test
