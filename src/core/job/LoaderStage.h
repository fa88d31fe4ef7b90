#pragma once

#include <string>

namespace gf {

// The four loader command lines of one job. Each inserted value is quoted by
// the command-line rules when it holds a blank, so that it reaches the tool
// as one argument; values without blanks appear as they are.
struct LoaderCommands {
    std::string sahara;      // sends the programmer image
    std::string rawProgram;  // writes the images (optionally wiping first)
    std::string patch;       // applies the patch XML
    std::string activate;    // makes partition 0 active (optionally resetting)
};

struct LoaderInputs {
    std::string saharaPath, firehosePath, portName;
    std::string programmer, rawProgram, patch, packageDir;
    bool erase = false, reset = false;
};

LoaderCommands BuildLoaderCommands(const LoaderInputs& in);

}  // namespace gf
