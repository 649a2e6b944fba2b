#include <string>

#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::fsutil {

platform::FsStatus MakeDir(platform::FileSystem& fs, const std::string& DirName) {
  const std::string with_separator = DirName + platform::kPathSeparator;
  std::size_t position = 0;  // one past the separator that ended the previous level
  for (;;) {
    const std::size_t separator = with_separator.find(platform::kPathSeparator, position);
    const std::string level = with_separator.substr(0, separator);
    // The test runs for every level, the drive's included: a drive that cannot be read ends the
    // procedure here. An existing entry counts whatever its attributes, so a hidden directory
    // is used, not created again.
    bool exists = false;
    if (!level.empty()) {
      if (platform::FsStatus tested = fs.Exists(level, exists); !tested) return tested;
    }
    if (!level.empty() && level.back() != ':' && !exists) {
      if (platform::FsStatus created = fs.CreateDirectory(level); !created) return created;
    }
    if (separator + 1 >= DirName.size()) return {};
    position = separator + 1;
  }
}

}  // namespace talvex::fsutil
