// What the --target value means on this platform: a drive letter on Windows, a directory that
// stands for the drive's root elsewhere.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace talvex::cli {

struct Target {
  std::string drive;         // the root the payload paths are joined to ("e:" on Windows)
  std::string drive_list;    // what the window's drive list would show, for BuildOptions::Drive1
  std::string report_drive;  // what the report names as the drive
};

// The target for `typed`, or why it cannot be one (`refusal`).
std::optional<Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                  std::string& refusal);

// `folder` without separators at its end, except the one of a root ("/", "e:\\").
std::string WithoutTrailingSeparators(std::string folder);

// Whether `path` names an existing directory (following links, as a user would expect).
bool IsExistingDirectory(platform::FileSystem& fs, const std::string& path);

// How the target is described in --help.
extern const char* const kTargetHelp;

}  // namespace talvex::cli
