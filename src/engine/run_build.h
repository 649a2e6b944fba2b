// A build from start to end: checked, planned, compared, written, committed, measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/build_run.h"
#include "engine/compare.h"
#include "engine/end_state.h"
#include "platform/file_system.h"

namespace talvex::build {

// Why a build ended before it reached its end.
enum class BuildInterruption {
  kNone,
  kDriveGone,  // the drive went away (or could not be opened at all)
  kStopped,    // the user asked it to stop
};

struct BuildResult {
  bool refused = false;  // nothing was done; `refusal` says why
  std::string refusal;
  std::vector<StepFailure> failures;
  std::size_t steps_total = 0;     // the plan's items
  std::size_t steps_not_done = 0;  // not in place because the build ended early
  BuildInterruption interruption = BuildInterruption::kNone;
  std::string interruption_line;  // the report's line that says so, empty when not interrupted
  // Why the drive could not be opened at all, in the report's words; then nothing was done.
  std::string drive_unavailable;
  // The drive had no room for the new files beside the old ones: they were written at their
  // places, and the old payload was not kept meanwhile. The report's line that says so.
  std::string in_place_line;
  double size_bytes = 0;  // of the payload tree, measured at the end
  std::uint64_t bytes_written = 0;

  // Everything was done and nothing failed.
  bool Complete() const {
    return failures.empty() && steps_not_done == 0 && drive_unavailable.empty();
  }
};

// Runs the whole build and measures the payload tree. Refuses, touching nothing on the drive,
// when the kit folder holds no kit, when the drive is not the one expected, when the target
// overlaps the kit, when another build holds the drive, when a kit file is larger than the
// drive's file system holds, and when the drive has no room for what must be written. When the
// drive goes away or the caller asks the build to stop before the new files take their places,
// the drive keeps the payload it had; every other failure is recorded and the build goes on.
BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer = nullptr);

// What a dry run shows: the plan and what the comparison decided for each of its items, or why a
// build would be refused. Reads the kit and the drive, writes nothing anywhere.
struct DryRun {
  std::string refusal;
  BuildPlan plan;
  Changes changes;
};
DryRun PlanDryRun(platform::FileSystem& fs, const BuildContext& context);

}  // namespace talvex::build
