#include "PortName.h"

#include <sys/stat.h>

#include <cctype>

namespace gf::edl {

namespace {

bool LookUpComNumber(int number, std::string& path, std::string& error) {
    // The COM numbers are assigned by the station's port list; without it a
    // COM name cannot be mapped to a device node.
    (void)path;
    error = "Cannot find port COM" + std::to_string(number) + ": no serial port has this number";
    return false;
}

}  // namespace

int ParseComName(const std::string& argument) {
    std::string s = argument;
    if (s.rfind("\\\\.\\", 0) == 0) s = s.substr(4);
    if (s.size() < 4) return -1;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != "COM"[i]) return -1;
    int number = 0;
    for (std::size_t i = 3; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])) || number > 100000) return -1;
        number = number * 10 + (s[i] - '0');
    }
    return number;
}

bool ResolvePortName(const std::string& argument, std::string& path, std::string& error) {
    if (argument.empty()) {
        error = "No port given";
        return false;
    }
    struct stat st {};
    if (::stat(argument.c_str(), &st) == 0) {
        path = argument;
        return true;
    }
    int number = ParseComName(argument);
    if (number >= 0) return LookUpComNumber(number, path, error);
    error = "Port '" + argument + "' does not exist";
    return false;
}

}  // namespace gf::edl
