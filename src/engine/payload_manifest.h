// The single files a build copies from the kit to the same place on the drive: the core files
// every build copies, then the files of each service, each group tied to one check box.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "options/build_options.h"

namespace talvex::build {

struct ManifestEntry {
  // Relative to the kit folder and to the drive's root alike; letter case as it lands.
  std::string_view RelativePath;
  // The box that must be ticked for the entry to be copied; none for a core entry.
  options::CheckState options::BuildOptions::*Condition = nullptr;
};

inline constexpr std::size_t kCoreEntryCount = 41;

// In the order the build copies them: the core entries, then the service groups.
extern const std::array<ManifestEntry, 62> PayloadManifest;

}  // namespace talvex::build
