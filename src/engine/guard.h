// What must hold before a build touches anything: the kit folder holds a kit, the drive's root as
// opened is not the kit, does not lie inside it, and removes nothing that is or holds it; and no
// other build holds the drive.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_run.h"
#include "platform/file_system.h"

namespace talvex::build {

// Whether `folder` holds a kit: a master "Talvex" folder (in any letter case, and not a link)
// with at least one of the payload's files in it. A build from anything less would empty the
// stick's payload and copy nothing back, so no build starts without it.
bool HoldsKit(platform::FileSystem& fs, std::string_view folder);

// The text every front end shows when a folder holds no kit: where it looked and what it needs.
std::string NoKitMessage(std::string_view folder);

// The identities of the folder `path` reaches and of every folder above it, nearest first.
std::vector<platform::FileId> FolderAndAncestors(platform::FileSystem& fs, const std::string& path);

// What the name of every token the guard leaves in the kit begins with.
inline constexpr std::string_view kKitTokenPrefix = ".talvex-guard-";

// How the guard looks for the kit through the drive besides comparing identities.
enum class KitProbe {
  kIdentityOnly,  // compare identities and spellings only; writes nothing (a dry run)
  kToken,         // also leave a token in the kit for the time of the check and look for it
};

// Why a build of `context` must not go on to its first change, if it must not. `root` is the
// drive's root as the build opened it: every check is made on that handle and the handles below
// it, never on the drive's path again, so a link or mount flipped meanwhile cannot slip past.
// Refused are a root that is the kit or lies inside it, and a folder the build removes (the
// payload folder, the ticked applications' folders) that is the kit or holds it. Folders are
// compared by identity, by name folded to one letter case on the kit's volume, and, with
// KitProbe::kToken, by a token file left in the kit and looked for through the drive, which
// catches what a file system hides from both (a FUSE volume giving each spelling its own inode,
// a network path to the kit).
std::optional<std::string> CheckDriveRoot(platform::FileSystem& fs, const BuildContext& context,
                                          platform::Directory& root, KitProbe probe);

// Takes the drive `drive` (its opened root) for this build; why not, when another build holds
// it. A drive that cannot be locked for another reason is built anyway.
std::optional<std::string> LockDriveForBuild(platform::Directory& root, const std::string& drive);

}  // namespace talvex::build
