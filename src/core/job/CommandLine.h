#pragma once

#include <string>
#include <vector>

namespace gf {

// Command lines as one text, by the Windows rules: blanks and tabs separate
// arguments, double quotes group, backslashes escape a double quote only.

// Returns `arg` as it must appear in a command line to come back as one
// argument: unchanged when it needs no quotes, else in double quotes with
// embedded quotes and the backslashes before them escaped.
std::string QuoteArgument(const std::string& arg);

// Splits a command line into arguments. The first argument (the program) is
// taken as the system takes it: up to the first blank outside quotes, quotes
// removed, backslashes literal. The others follow the runtime's rules:
// 2n backslashes before a quote give n backslashes and the quote groups,
// 2n+1 give n backslashes and a literal quote, "" inside quotes is a quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace gf
