#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "SerialPort.h"

namespace gf::edl {

// One <response> of the device with the <log> lines that came before it.
struct FirehoseReply {
    bool ack = false;
    bool rawMode = false;
    std::map<std::string, std::string> attributes;
    std::vector<std::string> logs;
    // The device's own reason for a NAK: its last "ERROR:" log, else its last log.
    std::string Reason() const;
};

// The host end of the Firehose XML protocol over a serial port. Device logs are
// echoed as "INFO: TARGET SAID: '...'" lines (error logs without their "ERROR:"
// tag, so that the tool's own "ERROR:" line is the only one of a failed run).
class FirehoseClient {
public:
    FirehoseClient(SerialPort& port, int timeoutMs) : m_port(port), m_timeoutMs(timeoutMs) {}

    // Sends `element` (one command element, e.g. "<nop />") and waits up to
    // `timeoutMs` for the response. False with `error` set when the device did
    // not answer; a NAK is a reply (ack == false), not an error.
    bool Command(const std::string& element, FirehoseReply& reply, int timeoutMs,
                 std::string& error);
    // Waits for the next response (e.g. the final one after raw data).
    bool Await(FirehoseReply& reply, int timeoutMs, std::string& error);
    // Raw data phase.
    bool WriteRaw(const void* data, std::size_t size, std::string& error);

private:
    SerialPort& m_port;
    int m_timeoutMs;
    std::string m_in;
};

}  // namespace gf::edl
