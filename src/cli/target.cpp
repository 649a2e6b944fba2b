// What the command line asks of the disk on every platform; what --target means is in
// target_posix.cpp and target_win32.cpp.
#include "cli/target.h"

#include "platform/file_system.h"

namespace talvex::cli {

bool IsExistingDirectory(platform::FileSystem& fs, const std::string& path) {
  std::uint32_t attributes = 0;
  if (!fs.QueryAttributes(path, attributes)) return false;
  if ((attributes & platform::kAttrReparsePoint) != 0) {
    std::string resolved;
    if (!fs.ResolvePath(path, resolved) || !fs.QueryAttributes(resolved, attributes)) {
      return false;
    }
  }
  return (attributes & platform::kAttrDirectory) != 0;
}

std::string NotRemovableRefusal(const std::string& typed) {
  return "--target \"" + typed +
         "\" is not the root of a removable drive (a USB flash drive or a memory card), and the "
         "build replaces Talvex and the ticked application folders there; give " +
         kAnyDriveFlag + " to build there all the same";
}

}  // namespace talvex::cli
