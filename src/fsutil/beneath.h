// Working below a root folder without ever following a link below it. The root (the drive's
// mount point, the kit folder) is where the user pointed us and is taken as the platform
// resolves it; every level below is opened as a folder of its own, so a link left on a drive,
// or planted in a downloaded kit, cannot aim a write or a read anywhere else.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace talvex::fsutil {

// A payload path as the folder that holds its last level and that level's name (views into it).
struct SplitPath {
  std::string_view folder;
  std::string_view name;
};

// "\a\b\c" -> "\a\b" and "c"; "\c" -> "" and "c".
SplitPath SplitRelative(std::string_view relative);

// Opens the folder `relative` (a payload constant such as "\Talvex\etc", naming at least one
// level) below the open folder `root`, level by level.
platform::FsStatus OpenBeneath(platform::Directory& root, std::string_view relative,
                               std::unique_ptr<platform::Directory>& opened);

// Creates every missing level of `relative` below `root`, left to right (the first failure ends
// it; levels made until then stay); an
// existing entry of a level's name is used when it is a folder and fails the call otherwise (a
// link is never entered).
platform::FsStatus MakeDirBeneath(platform::Directory& root, std::string_view relative);

}  // namespace talvex::fsutil
