// Removing a directory tree, creating a path level by level, and measuring a tree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace talvex::fsutil {

// DelTree's results besides a positive error code.
inline constexpr std::int32_t kDelTreeRemoved = 0;
inline constexpr std::int32_t kDelTreeRefused = -1;

struct DelTreeOutcome {
  std::int32_t result = kDelTreeRefused;
  platform::FsStatus failure;  // what failed, when result is a positive error code
};

// Removes the directory `strDir` with everything below it. Returns 0 when all is gone, -1 when
// the argument is refused and nothing was touched (empty or spaces only, no separator - a bare
// drive -, no such entry, or a file), or the positive error code of the first step that failed;
// whatever was removed before that stays removed. Read-only, hidden and system files are made
// normal before they are deleted. Links are removed as entries of their own and never entered.
// Everything below the tree's folder is reached through open directory handles, never through a
// path again. A directory whose identity is in `protect` (the kit folder and the folders that
// hold it) is never entered nor removed, and neither is another file system mounted inside:
// the removal ends there with a failure naming it.
std::int32_t DelTree(platform::FileSystem& fs, std::string strDir);
DelTreeOutcome DelTreeWithFailure(platform::FileSystem& fs, std::string strDir,
                                  const std::vector<platform::FileId>& protect = {});

// The same for the entry `name` of the open folder `parent`: the tree is reached through the
// handle, never through a path. A missing entry or a file is refused (-1), touching nothing.
DelTreeOutcome DelTreeBelow(platform::Directory& parent, std::string_view name,
                            const std::vector<platform::FileId>& protect = {});

// Creates every missing level of `DirName`, left to right; a level that ends in ':' (the drive)
// is never created. The first failure ends it and is returned; levels made until then stay.
platform::FsStatus MakeDir(platform::FileSystem& fs, const std::string& DirName);

// The total size in bytes of every file below `DirPath` (a file's own length if it names a
// file); 0 for whatever cannot be read. Links count as entries of their own and are never
// followed. `yield` runs after every entry, so a window can handle its pending input.
double SizeOf(platform::FileSystem& fs, const std::string& DirPath,
              const std::function<void()>& yield = {});

// The same for the folder `name` of the open folder `parent`, walked through handles only.
double SizeOfBelow(platform::Directory& parent, std::string_view name,
                   const std::function<void()>& yield = {});

}  // namespace talvex::fsutil
