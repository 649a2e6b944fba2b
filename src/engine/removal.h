// Removing entries of the drive - stale files and folders, temporaries, with a fresh build the
// old payload - through the drive's root handle, never entering a mount point or the kit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/build_run.h"

namespace talvex::build {

// How a stage ended.
enum class StageEnd {
  kDone,
  kStopped,    // the caller asked to stop
  kDriveGone,  // the drive went away: a failure said the device is gone
};

// Whether the failures recorded from `first` on say the drive itself is gone.
bool DriveGoneSince(const BuildRun& run, std::size_t first);

// Removes the entry `relative` (below the drive's root, as spelled there): a folder with all it
// holds, a file made normal first, a link as a link. Nothing there is no failure. What cannot be
// removed is recorded; a mount point or the kit met inside is left whole and named.
void RemoveEntry(BuildRun& run, std::string_view relative);

// RemoveEntry for each, in order; ends early when the drive goes away.
StageEnd RemoveEntries(BuildRun& run, const std::vector<std::string>& entries);

}  // namespace talvex::build
