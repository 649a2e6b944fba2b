// --target on POSIX: the folder that stands for the drive's root, such as its mount point.
#include <string>

#include "cli/target.h"
#include "platform/drives.h"
#include "platform/paths.h"

namespace talvex::cli {

const char* const kTargetHelp =
    "The drive to prepare: the mount point of a removable drive (any existing folder with "
    "--any-drive)";

std::optional<build::Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                         bool any_drive, std::string& refusal) {
  if (typed.empty() || !IsExistingDirectory(fs, typed)) {
    std::uint32_t attributes = 0;
    const bool exists = !typed.empty() && fs.QueryAttributes(typed, attributes).ok();
    refusal = "--target \"" + typed + "\": " + (exists ? "not a folder" : "no such folder");
    return std::nullopt;
  }
  if (!any_drive && !platform::DescribeDrive(typed).removable) {
    refusal = NotRemovableRefusal(typed);
    return std::nullopt;
  }
  // Payload paths are joined by plain concatenation: "/media/usb" + "/Talvex".
  return build::TargetOfFolder(platform::WithoutTrailingSeparators(typed));
}

}  // namespace talvex::cli
