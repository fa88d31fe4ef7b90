// firehorse: a Firehose host. Writes the images of rawprogram XML files, applies
// patch XML files and sets the boot partition on a device whose Firehose
// programmer runs (after `sahara`).
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "Firehorse.h"
#include "PortName.h"
#include "ToolOutput.h"

using gf::edl::OutLine;

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 0; i < argc; ++i) commandLine += (i ? " " : "") + std::string(argv[i]);
    OutLine("Base Version: firehorse 1.0");
    OutLine("INFO: FH_LOADER WAS CALLED EXACTLY LIKE THIS");
    OutLine(std::string(64, '*'));
    OutLine(commandLine);
    OutLine(std::string(64, '*'));

    gf::edl::FirehorseOptions options;
    std::string portArg, sendXml, searchPath;
    int active = -1;
    bool noPrompt = false;
    CLI::App app{"Firehose host: writes a package into a device"};
    app.footer(
        "Every wait for the device is bounded: GF_EDL_TIMEOUT_MS (default 10000) is the wait "
        "for an answer, data writes that make no progress for that long fail.");
    app.allow_extras();
    app.add_option("--port", portArg, "Serial port: device path, \\\\.\\COM<n> or COM<n>")
        ->required();
    app.add_option("--sendxml", sendXml, "Comma-separated rawprogram/patch XML files");
    app.add_option("--search_path", searchPath, "Comma-separated directories of the files");
    app.add_flag("--noprompt", noPrompt, "Never prompt (always the case)");
    app.add_flag("--showpercentagecomplete", options.showPercent, "Print progress lines");
    app.add_option("--zlpawarehost", options.zlpAwareHost, "ZlpAwareHost value for <configure>");
    app.add_option("--memoryname", options.memoryName, "Storage type for <configure>");
    app.add_flag("--wipefirst", options.wipeFirst, "Erase each program region before writing");
    app.add_option("--setactivepartition", active, "Physical partition to boot from");
    app.add_flag("--reset", options.reset, "Reset the device at the end");
    app.add_option("--maxpayloadsizeinbytes", options.maxPayload, "Requested raw chunk size");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        OutLine(std::string("ERROR: ") + e.what());
        return 2;
    }
    for (const std::string& extra : app.remaining())
        OutLine("WARNING: Ignoring unknown argument '" + extra + "'");
    auto split = [](const std::string& list) {
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start <= list.size() && !list.empty()) {
            std::size_t comma = list.find(',', start);
            std::string item =
                list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (!item.empty()) out.push_back(item);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        return out;
    };
    options.sendXml = split(sendXml);
    options.searchPaths = split(searchPath);
    if (active >= 0) options.setActivePartition = active;
    if (options.maxPayload < 512 || options.maxPayload > (16u << 20)) {
        OutLine("ERROR: --maxpayloadsizeinbytes must lie between 512 and 16777216");
        return 2;
    }

    std::string error;
    if (!gf::edl::ResolvePortName(portArg, options.port, error)) {
        OutLine("ERROR: " + error);
        return 1;
    }
    gf::edl::Firehorse run(std::move(options));
    return run.Run() ? 0 : 1;
}
