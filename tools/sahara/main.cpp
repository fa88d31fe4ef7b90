// sahara: uploads images (the Firehose programmer, id 13) to a device in
// emergency download mode.   sahara -p PORT -s 13:FILE [-s ID:FILE ...]
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "PortName.h"
#include "SaharaHost.h"
#include "SerialPort.h"
#include "ToolOutput.h"

using gf::edl::OutLine;

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 0; i < argc; ++i) commandLine += (i ? " " : "") + std::string(argv[i]);
    OutLine("Sahara host called like this: '" + commandLine + "'");

    CLI::App app{"Sends images to a device in emergency download mode over Sahara"};
    std::string portArg;
    std::vector<std::string> mappings;
    app.footer(
        "Every wait for the device is bounded: GF_EDL_TIMEOUT_MS (default 10000) is the wait "
        "for an answer, data writes that make no progress for that long fail.");
    app.add_option("-p,--port", portArg, "Serial port: device path, \\\\.\\COM<n> or COM<n>")
        ->required();
    app.add_option("-s,--sahara", mappings, "Image mapping ID:FILE (programmer is 13)")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        OutLine(std::string("ERROR: ") + e.what());
        return 2;
    }

    std::map<uint32_t, std::string> images;
    OutLine("Sahara mappings:");
    for (const auto& m : mappings) {
        auto colon = m.find(':');
        char* end = nullptr;
        unsigned long id = colon == std::string::npos ? 0 : std::strtoul(m.c_str(), &end, 10);
        if (colon == std::string::npos || colon == 0 || end != m.c_str() + colon) {
            OutLine("ERROR: Bad image mapping '" + m + "', expected ID:FILE");
            return 2;
        }
        std::string file = m.substr(colon + 1);
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            OutLine("ERROR: Image file \"" + file + "\" does not exist");
            return 1;
        }
        images[static_cast<uint32_t>(id)] = file;
        OutLine(std::to_string(id) + ": " + file);
    }

    std::string path, error;
    if (!gf::edl::ResolvePortName(portArg, path, error)) {
        OutLine("ERROR: " + error);
        return 1;
    }
    gf::edl::SerialPort port;
    if (!port.Open(path, error)) {
        OutLine("ERROR: " + error);
        return 1;
    }
    gf::edl::SaharaHost host(port, std::move(images), gf::edl::BaseTimeoutMs());
    return host.Run() ? 0 : 1;
}
