// Removing a directory tree and measuring one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace talvex::fsutil {

// DelTreeBelow's results besides a positive error code.
inline constexpr std::int32_t kDelTreeRemoved = 0;
inline constexpr std::int32_t kDelTreeRefused = -1;

struct DelTreeOutcome {
  std::int32_t result = kDelTreeRefused;
  platform::FsStatus failure;  // what failed, when result is a positive error code
};

// Removes the entry `name` of the open folder `parent` with everything below it. Returns 0 when
// all is gone, -1 when nothing was there to remove or it is a file (touching nothing), or the
// positive error code of the first step that failed; whatever was removed before that stays
// removed. Read-only, hidden and system files are made normal before they are deleted. Links are
// removed as entries of their own and never entered. The tree is reached through the handle and
// the directory handles below it, never through a path. A directory whose identity is in
// `protect` (the kit folder and the folders that hold it) is never entered nor removed, and
// neither is another file system mounted inside: the removal ends there with a failure naming it.
DelTreeOutcome DelTreeBelow(platform::Directory& parent, std::string_view name,
                            const std::vector<platform::FileId>& protect = {});

// The total size in bytes of every file below `DirPath` (a file's own length if it names a
// file); 0 for whatever cannot be read. Links count as entries of their own and are never
// followed. `yield` runs after every entry, so a window can handle its pending input.
double SizeOf(platform::FileSystem& fs, const std::string& DirPath,
              const std::function<void()>& yield = {});

// The same for the folder `name` of the open folder `parent`, walked through handles only.
double SizeOfBelow(platform::Directory& parent, std::string_view name,
                   const std::function<void()>& yield = {});

}  // namespace talvex::fsutil
