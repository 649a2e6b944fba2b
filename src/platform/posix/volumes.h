// The volumes of a Linux system as a build sees them: which are mounted where, from which device,
// and whether that device is a flash drive (removable, USB or SD/MMC, and not the disk the system
// runs from). Everything is read below `root` (normally "/"): its proc/self/mountinfo,
// sys/dev/block (with each device's size) and dev/disk/by-label, so that tests can lay out fake
// trees.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drives.h"

namespace talvex::platform::posix {

// One line of mountinfo, with the escapes of its paths (\040 and the like) decoded.
struct MountEntry {
  std::string device;       // "major:minor"
  std::string root;         // the folder of the file system mounted there, "/" for all of it
  std::string mount_point;  // as the system sees it, "/media/user/STICK"
  std::string mount_options;
  std::string super_options;
  std::string source;  // "/dev/sdb1"
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);

// A volume a user would pick as the flash drive.
struct RemovableVolume {
  std::string mount_point;
  std::string label;             // empty when the file system has none
  std::string device;            // "major:minor"
  std::string source = {};       // the device file as mounted, "/dev/sdb1"
  std::uint64_t size_bytes = 0;  // the partition's size; 0 when sysfs does not say
};

// The mounted, writable volumes on flash drives, in mount order. `kit_folder` is where the
// program reads its kit from; the volume that holds it is left out, like the volume of "/".
std::vector<RemovableVolume> ListRemovableVolumes(const std::string& root,
                                                  const std::string& kit_folder);

// What the tables below `root` say of `mount_point`, an absolute path without links: whether a
// whole file system is mounted there, not covered by a later mount, and whether it lies on a
// flash drive.
DriveFacts DescribeMountPoint(const std::string& root, const std::string& mount_point);

}  // namespace talvex::platform::posix
