// What must hold before a build touches anything: the kit folder holds a kit, the folders the
// build removes do not overlap the kit, and no other build holds the drive.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/build_step.h"
#include "platform/file_system.h"

namespace talvex::build {

// The identities of the folder `path` reaches and of every folder above it, nearest first.
std::vector<platform::FileId> FolderAndAncestors(platform::FileSystem& fs, const std::string& path);

// Why a build of `context` must not start, if it must not: the target overlaps the kit, so the
// removal at the start of the build would delete the master copy it is about to copy from.
// Folders are compared by identity, so no spelling, link or bind mount hides an overlap.
std::optional<std::string> CheckTargetOverlap(platform::FileSystem& fs,
                                              const BuildContext& context);

// The part of that check that compares names: on the kit's volume, paths that differ only in
// ASCII letter case count as one (for file systems whose inode numbers follow the spelling).
// `kit` is the kit's identity (null when it does not exist), `removed` what the build removes.
std::optional<std::string> CheckSpellingOverlap(platform::FileSystem& fs,
                                                const BuildContext& context,
                                                const platform::FileId* kit,
                                                const std::vector<std::string>& removed);

// Why a build of `context` must not start at all, before anything is opened: the kit folder
// holds no kit, or the target overlaps it.
std::optional<std::string> CheckBuildMayStart(platform::FileSystem& fs,
                                              const BuildContext& context);

// Takes the drive `drive` (its opened root) for this build; why not, when another build holds
// it. A drive that cannot be locked for another reason is built anyway.
std::optional<std::string> LockDriveForBuild(platform::Directory& root, const std::string& drive);

}  // namespace talvex::build
