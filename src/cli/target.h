// What the --target value means on this platform: a drive letter on Windows, a directory that
// stands for the drive's root elsewhere.
#pragma once

#include <optional>
#include <string>

#include "engine/session.h"
#include "platform/file_system.h"

namespace talvex::cli {

// The target for `typed`, or why it cannot be one (`refusal`). Only the root of a removable
// drive is one, unless `any_drive`.
std::optional<build::Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                         bool any_drive, std::string& refusal);

// Why `typed` is refused when it is no removable drive's root: it names the option that allows it.
std::string NotRemovableRefusal(const std::string& typed);

// The flag that lets a target be any folder or drive.
inline constexpr const char* kAnyDriveFlag = "--any-drive";

// Whether `path` names an existing directory (following links, as a user would expect).
bool IsExistingDirectory(platform::FileSystem& fs, const std::string& path);

// How the target is described in --help.
extern const char* const kTargetHelp;

}  // namespace talvex::cli
