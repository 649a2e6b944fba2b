// Whether a place is a drive a build may take without asking, and what that drive is. A build
// removes and replaces folders at the root of its drive, so both windows and the command line ask
// the same question here: is this the root of a mounted volume, on a removable device? The
// answers are facts; how they are put to the user is the front end's business.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace talvex::platform {

struct DriveFacts {
  // The root of a mounted volume: a mount point (the latest one there, not covered by another);
  // on Windows the root of a drive letter.
  bool volume_root = false;
  // On a removable device, or a disk on USB (or an SD/MMC card on Linux), and not the disk the
  // system runs from: what a flash drive is. Only a volume root can be one.
  bool removable = false;
};

// What the system says of `path` as the root of a drive: "/media/user/STICK", "e:" or "e:\".
// Reads the system's tables only; never the drive's own contents.
DriveFacts DescribeDrive(const std::string& path);

// What the drive whose root is `root` is while it stays plugged in: its root folder's identity
// (the device and the folder; the volume serial number and the folder on Windows). Nothing when
// the root cannot be opened: the drive is gone, or it is a dead mount (a FUSE process that ended
// leaves "Transport endpoint is not connected").
std::optional<FileId> DriveIdentity(FileSystem& fs, const std::string& root);

}  // namespace talvex::platform
