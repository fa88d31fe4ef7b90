#pragma once

#include <string>

namespace gf {

// The status board shared by the jobs and the supervision timer.
inline constexpr const char* kStatusBoardPath = "Log/DownloadProc.ini";
inline constexpr const char* kBoardProcSection = "LinesProc";
inline constexpr const char* kBoardLogSection = "LinesLog";
inline constexpr const char* kBoardDownloadStart = "QFILDownloadStart";
inline constexpr const char* kBoardDownloadEnd = "QFILDownloadEnd";

// The slot's key: "Lin", the slot number and one blank ("%s%d ").
inline std::string StatusBoardKey(int slot) { return "Lin" + std::to_string(slot) + " "; }

}  // namespace gf
