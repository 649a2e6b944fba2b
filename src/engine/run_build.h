// The run loop of a build: check that it may start, plan it, run its steps one by one against
// the drive opened once, and measure the payload tree it left.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/build_step.h"
#include "platform/file_system.h"

namespace talvex::build {

// Why a build ended before its last step.
enum class BuildInterruption {
  kNone,
  kDriveGone,  // the drive went away (or could not be opened at all)
  kStopped,    // the user asked it to stop
};

struct BuildResult {
  bool refused = false;  // nothing was done; `refusal` says why
  std::string refusal;
  std::vector<StepFailure> failures;
  std::size_t steps_run = 0;
  std::size_t steps_total = 0;     // in the plan
  std::size_t steps_not_done = 0;  // skipped because the build was interrupted
  BuildInterruption interruption = BuildInterruption::kNone;
  std::string interruption_line;  // the report's line that says so, empty when not interrupted
  // Why the drive could not be opened at all, in the report's words; then no step ran.
  std::string drive_unavailable;
  double size_bytes = 0;  // of the payload tree, measured at the end

  // Every step ran and none failed.
  bool Complete() const { return failures.empty() && steps_not_done == 0; }
};

// Runs the whole build and measures the payload tree. Refuses (touching nothing) when the kit
// folder holds no kit, when the target overlaps the kit, or when another build holds the drive.
// The drive's root is opened once, before the first step, and every step works below that
// handle. When the drive goes away, or the caller asks the build to stop, the remaining steps
// are skipped (after a stop, what was written is still flushed) and the result says so. Every
// other failure is recorded and the build goes on.
BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer = nullptr);

}  // namespace talvex::build
