#include "ToolOutput.h"

#include <cstdio>
#include <cstdlib>

namespace gf::edl {

void OutLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fwrite("\r\n", 1, 2, stdout);
    std::fflush(stdout);
}

int BaseTimeoutMs() {
    const char* env = std::getenv("GF_EDL_TIMEOUT_MS");
    if (env != nullptr) {
        long v = std::strtol(env, nullptr, 10);
        if (v > 0 && v < 24L * 3600 * 1000) return static_cast<int>(v);
    }
    return 10000;
}

}  // namespace gf::edl
