// The third stage: what the comparison found new or changed is written beside its place (new
// folders made under temporary names), the masters into the kit, then everything is flushed
// onto the device and read back from it. Until the commit the drive's payload is the one it had:
// a build stopped or pulled here leaves it whole.
#pragma once

#include <string>

#include "engine/build_run.h"
#include "engine/compare.h"
#include "engine/end_state.h"
#include "engine/removal.h"

namespace talvex::build {

// Writes the masters into the kit and the new folders and files onto the drive, each at its
// staged place, in the plan's order. What fails is recorded and its item becomes absent.
StageEnd WriteChanges(BuildRun& run, const BuildPlan& plan, Changes& changes);

// Everything written, out of the cache onto the device, then (when the context asks for it)
// read back from the device and compared with what it must hold.
StageEnd FlushAndReadBack(BuildRun& run, const BuildPlan& plan, const Changes& changes);

// Takes away what the writing made under temporary names, for a build that ends before its
// commit, and flushes: the drive holds what it held before the build.
void RemoveTemporaries(BuildRun& run, const BuildPlan& plan, const Changes& changes);

}  // namespace talvex::build
