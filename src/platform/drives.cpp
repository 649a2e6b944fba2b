#include "platform/drives.h"

#include <memory>

namespace talvex::platform {

std::optional<FileId> DriveIdentity(FileSystem& fs, const std::string& root) {
  // The build opens the root first: a drive whose root cannot be opened is none to build on.
  std::unique_ptr<Directory> opened;
  if (!fs.OpenDirectory(root, opened)) return std::nullopt;
  return opened->id();
}

}  // namespace talvex::platform
