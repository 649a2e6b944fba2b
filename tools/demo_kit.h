// The demo kit: a kit folder with a placeholder at every path a build copies from, so that a
// build can be tried, tested and timed without the television software itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace talvex::tools {

struct KitFile {
  std::string relative;  // backslash form, as the build's tables write it ("\Talvex\rcTVX")
  std::uint64_t size = 0;
};

// Every file of the kit: each manifest entry, the loaders' start script, the readme, each
// application folder with a few nested files (and its loader.so where the loader list names
// one), and the PVR settings file. With `realistic`, sizes mimic a real kit for benchmarks:
// tens of megabytes in all, a few files of several megabytes and many small ones; otherwise
// every file holds just its placeholder line.
std::vector<KitFile> DemoKitFiles(bool realistic);

// The file's content: a line saying whose placeholder it is, then deterministic filler up to
// its size (never shorter than the line).
std::string DemoKitContent(const KitFile& file);

struct DemoKitSummary {
  std::size_t files = 0;
  std::uint64_t bytes = 0;
};

// Writes the kit below `root`, creating `root` and every folder on the way; existing files of the
// same names are replaced, anything else there is left alone. Stops at the first failure.
platform::FsStatus WriteDemoKit(platform::FileSystem& fs, const std::string& root, bool realistic,
                                DemoKitSummary* summary = nullptr);

}  // namespace talvex::tools
