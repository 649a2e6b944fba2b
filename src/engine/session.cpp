#include "engine/session.h"

#include "engine/build_plan.h"
#include "engine/guard.h"

namespace talvex::build {
namespace {

BuildContext ContextOf(const SessionRequest& request) {
  BuildContext context{request.kit, request.target.root, request.options};
  context.verify = request.verify;
  context.stop = request.stop;
  return context;
}

}  // namespace

Target TargetOfDriveEntry(std::string_view drive_entry) {
  return Target{options::TargetDriveOf(drive_entry), std::string(drive_entry.substr(0, 1))};
}

Target TargetOfFolder(std::string folder) {
  return Target{folder, folder};
}

SessionResult RunSession(platform::FileSystem& fs, const SessionRequest& request,
                         BuildObserver* observer) {
  SessionResult result;
  result.build = RunBuild(fs, ContextOf(request), observer);
  if (result.build.refused) return result;

  ReportInput input;
  input.size_bytes = result.build.size_bytes;
  input.drive_letter = request.target.name;
  input.source_root = request.kit;
  input.options = &request.options;
  input.failures = &result.build.failures;

  input.decimal_separator = request.decimal_separator;
  const ReportInterruption interruption{result.build.interruption_line, result.build.steps_not_done,
                                        result.build.interruption == BuildInterruption::kStopped,
                                        result.build.steps_total, result.build.drive_unavailable};
  result.report = MakeReportParts(input, interruption);
  return result;
}

SessionPlan PlanSession(platform::FileSystem& fs, const SessionRequest& request) {
  const BuildContext context = ContextOf(request);
  SessionPlan plan;
  if (!HoldsKit(fs, context.source_root)) {
    plan.refusal = NoKitMessage(context.source_root);
    return plan;
  }
  // A dry run writes nothing, not even the kit's token: identities and spellings only.
  std::unique_ptr<platform::Directory> root;
  if (fs.OpenDirectory(context.target_drive, root)) {
    plan.refusal = CheckDriveRoot(fs, context, *root, KitProbe::kIdentityOnly);
  }
  if (!plan.refusal) plan.steps = PlanBuild(context);
  return plan;
}

}  // namespace talvex::build
