#include "FirehoseClient.h"

#include <algorithm>
#include <chrono>
#include <pugixml.hpp>

#include "SaharaDefs.h"
#include "ToolOutput.h"

namespace gf::edl {

std::string FirehoseReply::Reason() const {
    for (auto it = logs.rbegin(); it != logs.rend(); ++it) {
        if (it->rfind("ERROR:", 0) == 0) {
            std::string text = it->substr(6);
            return text.erase(0, text.find_first_not_of(' '));
        }
    }
    return logs.empty() ? std::string("no reason given") : logs.back();
}

bool FirehoseClient::Command(const std::string& element, FirehoseReply& reply, int timeoutMs,
                             std::string& error) {
    const std::string doc = "<?xml version=\"1.0\" ?><data>" + element + "</data>";
    if (!m_port.Write(doc.data(), doc.size(), m_timeoutMs, error)) return false;
    return Await(reply, timeoutMs, error);
}

bool FirehoseClient::Await(FirehoseReply& reply, int timeoutMs, std::string& error) {
    reply = FirehoseReply{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!m_in.empty() && m_in[0] != '<') {
            const auto* p = reinterpret_cast<const uint8_t*>(m_in.data());
            if (m_in.size() >= 8 && GetU32(p) == sahara::kHello &&
                GetU32(p + 4) == sahara::kHelloLength) {
                error = "the device is still in Sahara mode (no programmer loaded)";
                return false;
            }
            m_in.erase(0, std::min(m_in.find('<'), m_in.size()));  // noise between documents
            continue;
        }
        std::size_t end = m_in.find("</data>");
        if (end != std::string::npos) {
            std::string doc = m_in.substr(0, end + 7);
            m_in.erase(0, end + 7);
            std::size_t start = doc.find('<');
            pugi::xml_document xml;
            if (start == std::string::npos || !xml.load_string(doc.c_str() + start)) {
                OutLine("WARNING: Ignoring malformed XML from the device");
                continue;
            }
            for (pugi::xml_node n : xml.child("data").children()) {
                if (std::string(n.name()) == "log") {
                    std::string value = n.attribute("value").as_string();
                    // A device's error log is relayed without its "ERROR:" tag: the
                    // tool's own single "ERROR:" line states the failure and its reason.
                    if (value.rfind("ERROR:", 0) == 0) {
                        const std::size_t text = value.find_first_not_of(' ', 6);
                        OutLine("INFO: TARGET SAID (error): '" +
                                (text == std::string::npos ? "" : value.substr(text)) + "'");
                    } else {
                        OutLine("INFO: TARGET SAID: '" + value + "'");
                    }
                    reply.logs.push_back(value);
                } else if (std::string(n.name()) == "response") {
                    reply.ack = std::string(n.attribute("value").as_string()) == "ACK";
                    reply.rawMode = std::string(n.attribute("rawmode").as_string()) == "true";
                    for (pugi::xml_attribute a : n.attributes())
                        reply.attributes[a.name()] = a.value();
                    return true;
                }
            }
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            error = "no response from the device within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        char buffer[4096];
        long n = m_port.Read(buffer, sizeof buffer, static_cast<int>(left), error);
        if (n < 0) return false;
        m_in.append(buffer, static_cast<std::size_t>(n));
    }
}

bool FirehoseClient::WriteRaw(const void* data, std::size_t size, std::string& error) {
    return m_port.Write(data, size, m_timeoutMs, error);
}

}  // namespace gf::edl
