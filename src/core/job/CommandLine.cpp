#include "job/CommandLine.h"

namespace gf {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Backslashes before a quote are doubled, and the quote escaped.
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    // Trailing backslashes precede the closing quote: double them.
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    const std::size_t size = commandLine.size();
    std::size_t i = 0;

    // The program name: quotes toggle grouping, nothing is escaped.
    std::string program;
    bool quoted = false;
    while (i < size && (quoted || !IsBlank(commandLine[i]))) {
        if (commandLine[i] == '"') {
            quoted = !quoted;
        } else {
            program += commandLine[i];
        }
        ++i;
    }
    if (size == 0) return args;
    args.push_back(program);

    for (;;) {
        while (i < size && IsBlank(commandLine[i])) ++i;
        if (i >= size) break;
        std::string arg;
        quoted = false;
        while (i < size && (quoted || !IsBlank(commandLine[i]))) {
            char c = commandLine[i];
            if (c == '\\') {
                std::size_t n = 0;
                while (i < size && commandLine[i] == '\\') {
                    ++n;
                    ++i;
                }
                if (i < size && commandLine[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < size && commandLine[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace gf
