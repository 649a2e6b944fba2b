// One build as every front end runs it: the request (kit, target, record), the build with its
// progress told to an observer, and the result the front end shows. A front end fills a
// request, calls RunSession (or PlanSession for a dry run) and turns the report parts into its
// own kind of message; it never checks, runs or measures anything itself.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_report.h"
#include "engine/run_build.h"
#include "options/build_options.h"
#include "platform/file_system.h"

namespace talvex::build {

// The drive a build prepares.
struct Target {
  std::string root;  // what payload paths are joined to: "e:" on Windows, a mount point elsewhere
  std::string name;  // how the report names the drive: its letter ("e"), or the folder
};

// The target of the window's drive list entry ("e: [USB]"): the letter and colon are the root,
// the letter alone is the report's name.
Target TargetOfDriveEntry(std::string_view drive_entry);

// A folder that stands for the drive's root; the report names the folder.
Target TargetOfFolder(std::string folder);

struct SessionRequest {
  std::string kit;  // the folder holding the master tree (SourceRoot)
  Target target;
  options::BuildOptions options;
  std::string decimal_separator = ",";  // the user's locale's, for the report
  bool verify = true;  // read back every file written, compare every file kept byte for byte
  bool fresh = false;  // remove the old payload first and write everything anew
  // The drive's root as the front end checked it; a root that is anything else is refused.
  std::optional<platform::FileId> expected_root = std::nullopt;
  // Set from any thread to stop the build; before its short commit the drive keeps what it
  // had. May be null.
  const std::atomic<bool>* stop = nullptr;
};

struct SessionResult {
  BuildResult build;   // refused (touching nothing), or what ran, what failed, the size measured
  ReportParts report;  // made only when the build ran
};

// Runs the build (which checks, once, that the target does not overlap the kit, runs the plan
// and measures the payload tree) and makes the report. `observer` may be null.
SessionResult RunSession(platform::FileSystem& fs, const SessionRequest& request,
                         BuildObserver* observer = nullptr);

// What a dry run shows: the refusal the build would meet, or one line for each thing it would
// do ("keep", "write", "mkdir", "rename", "remove" and a path). Touches nothing.
struct SessionPlan {
  std::optional<std::string> refusal;
  std::vector<std::string> lines;
};
SessionPlan PlanSession(platform::FileSystem& fs, const SessionRequest& request);

}  // namespace talvex::build
