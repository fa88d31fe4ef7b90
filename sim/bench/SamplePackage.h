#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gf::sim {

// Writes the programmer image at `path`; false with a reason on failure.
using ProgrammerWriter = std::function<bool(const std::string& path, std::string& error)>;

// Name of the sample package's programmer image.
inline constexpr const char* kSampleProgrammer = "prog_emmc_firehose_sim.mbn";

// Writes a small eMMC firmware package into `dir` (created when missing):
// rawprogram0.xml with a primary and a backup GPT (the backup at a
// NUM_DISK_SECTORS expression), raw images of which one does not fill its last
// sector, an Android sparse image (raw, fill and don't-care chunks) and an
// entry with an empty file name; patch0.xml with DISK patches (GPT fields and
// CRC32 values) and one file patch; the programmer from `writeProgrammer`.
// Every image sector carries text naming its file and sector, so a flashed
// storage file can be checked byte for byte. Needs storage of at least 16 MiB.
bool MakeSamplePackage(const std::string& dir, std::string& error,
                       const ProgrammerWriter& writeProgrammer);

// Compares the partitions of the sample package in `dir` (all but the GPT,
// which the patches change on the device) with a flashed storage file: every
// written sector must hold the image's bytes (zero-padded to whole sectors),
// the sparse image expanded. False with the first difference in `mismatch`.
bool CheckFlashedSample(const std::string& dir, const std::string& storagePath,
                        std::string& mismatch);

}  // namespace gf::sim
