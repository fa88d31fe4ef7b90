#pragma once

#include <cstddef>
#include <string>

namespace gf {

// What the loader tools print that the runner acts on.
inline constexpr const char* kMarkerImage = "In handleProgram('";
inline constexpr const char* kMarkerImageEnd = "')";
inline constexpr const char* kMarkerPercent = "{percent files transferred";
inline constexpr const char* kMarkerSaharaDone = "Sahara protocol completed";
inline constexpr const char* kMarkerCalledLike = "FH_LOADER WAS CALLED EXACTLY LIKE THIS";
inline constexpr const char* kMarkerError = "ERROR:";

// Size of one read of tool output (and of the line buffer).
inline constexpr std::size_t kToolReadSize = 260;
// Pause after the Sahara marker, so the tool can let go of the port.
inline constexpr unsigned kSaharaSettleMs = 500;

// The slot's tool copies, as named in its working directory and by the
// process table.
inline std::string SaharaToolName(int slot) {
    return "sahara" + std::to_string(slot);
}
inline std::string FirehoseToolName(int slot) {
    return "firehorse" + std::to_string(slot);
}

// The integer at the start of `text` (optional sign, then digits; 0 when
// there are none), saturated to the int range.
int StrToInt(const std::string& text);

}  // namespace gf
