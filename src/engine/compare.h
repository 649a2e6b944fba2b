// The second stage: the plan compared with what the drive holds. A file already there with the
// same name and bytes is kept; a new or changed one is written beside its place under a
// temporary name; a missing folder is made; whatever the owned folders hold that the plan does
// not (stale files and folders, names in another letter case, leftovers of a build that was
// killed) is to go. Only reads the drive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_run.h"
#include "engine/end_state.h"

namespace talvex::build {

// What the names of the build's temporary files begin with: a short name, since on FAT every
// letter past the thirteenth costs one more directory slot, and creating and renaming an entry
// searches the folder's slots (fusefat took twice as long for thirty letters as for ten).
inline constexpr std::string_view kTemporaryPrefix = ".tvx-";
// What earlier versions named them with.
inline constexpr std::string_view kEarlierTemporaryPrefix = ".talvex-new-";

// Whether `name` is a temporary of a build (this version's or an earlier one's): one left on the
// drive is a leftover of a build that did not end, and goes.
bool IsTemporaryName(std::string_view name);

enum class Change {
  kKeep,    // on the drive as it must be (a folder there, or a file with the same bytes)
  kWrite,   // written anew: a folder made, a file written
  kAbsent,  // not on the drive at the end: it cannot be placed, or its writing failed
};

// What the build does for one item of the plan.
struct ItemWork {
  Change change = Change::kKeep;
  // Where it is while the build writes, below the drive's root, spelled as it is on the drive:
  // a new file's temporary name beside its place, or its place.
  std::string staged;
  // A new file, written under a temporary name (`staged`) and renamed into its place when the
  // build commits.
  bool renamed_into_place = false;
  // Its name on the drive when that differs only in letter case: renamed when the build commits.
  std::string found_as;
  bool fix_attributes = false;  // kept, but read-only, hidden or system: made normal
  bool fix_time = false;        // kept, but with another modification time than the kit file's
  // A file of its exact name is on the drive now: replaced by the rename, and removed when the
  // new one could not be written.
  bool replaces_old = false;
};

struct Changes {
  std::vector<ItemWork> work;  // one for each item of the plan, in its order
  // What goes when the build commits, below the drive's root as spelled on the drive; a folder
  // goes with everything in it.
  std::vector<std::string> stale;
  // What goes before anything is written, being in the way of a folder the build makes: a file
  // of the folder's name, the folder in other letters.
  std::vector<std::string> removed_first;
  std::uint64_t bytes_to_write = 0;
  std::uint64_t bytes_replaced = 0;  // of the files on the drive that the writing replaces
  std::uint64_t bytes_stale = 0;     // of the stale files (not of the stale folders' insides)
};

// Compares the plan with the drive. Stops early (with what it has) when a stop is asked; a file
// whose comparison fails is written anew.
Changes CompareWithDrive(BuildRun& run, const BuildPlan& plan);

// For a drive without room for the temporaries: every new file and folder is planned at its
// place instead of beside it. Returns what must go before anything is written there: the stale
// entries and the old files the new ones replace (the caller removes them, and the old payload
// is lost if the build does not end).
std::vector<std::string> PlaceInPlace(const BuildPlan& plan, Changes& changes);

// A name for a temporary file or folder: the prefix, a part random for each run and a count
// within it, in digits and small letters. A leftover of another run may still bear it (see
// IsTemporaryName).
std::string TemporaryEntryName();

}  // namespace talvex::build
