// The fourth stage, short: the new files and folders take their places by renames, what the
// payload no longer holds goes, names get their letter case and kept files their attributes and
// times, and all is flushed. A pull in the middle of it leaves a mix of the old payload and the
// new one, which the next build on that drive repairs.
#pragma once

#include "engine/build_run.h"
#include "engine/compare.h"
#include "engine/end_state.h"
#include "engine/removal.h"

namespace talvex::build {

StageEnd Commit(BuildRun& run, const BuildPlan& plan, const Changes& changes);

}  // namespace talvex::build
