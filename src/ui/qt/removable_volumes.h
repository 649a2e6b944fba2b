// The volumes a user would pick as the flash drive on Linux: mounted, writable file systems on
// removable, USB or SD/MMC block devices, never the system's own disk nor the kit's. Everything is
// read below `root` (normally "/"): its proc/self/mountinfo, sys/dev/block and dev/disk/by-label,
// so that tests can lay out fake trees.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::ui::qt {

// One line of mountinfo, with the escapes of its paths (\040 and the like) decoded.
struct MountEntry {
  std::string device;       // "major:minor"
  std::string mount_point;  // as the system sees it, "/media/user/STICK"
  std::string mount_options;
  std::string super_options;
  std::string source;  // "/dev/sdb1"
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);

// A volume as the drive list shows it.
struct RemovableVolume {
  std::string mount_point;
  std::string label;   // empty when the file system has none
  std::string device;  // "major:minor"
};

// The drive list's text: the mount point, then " [label]" when there is one.
std::string VolumeEntryText(const RemovableVolume& volume);

// The volumes in mount order. `kit_folder` is where the program reads its kit from; the volume
// that holds it is left out, like the volume of "/" and every read-only one.
std::vector<RemovableVolume> ListRemovableVolumes(const std::string& root,
                                                  const std::string& kit_folder);

}  // namespace talvex::ui::qt
