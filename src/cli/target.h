// What the --target value means on this platform: a drive letter on Windows, a directory that
// stands for the drive's root elsewhere.
#pragma once

#include <optional>
#include <string>

#include "engine/session.h"
#include "platform/file_system.h"

namespace talvex::cli {

// The target for `typed`, or why it cannot be one (`refusal`).
std::optional<build::Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                         std::string& refusal);

// Whether `path` names an existing directory (following links, as a user would expect).
bool IsExistingDirectory(platform::FileSystem& fs, const std::string& path);

// How the target is described in --help.
extern const char* const kTargetHelp;

}  // namespace talvex::cli
