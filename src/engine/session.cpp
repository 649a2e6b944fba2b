#include "engine/session.h"

#include "platform/paths.h"

namespace talvex::build {
namespace {

BuildContext ContextOf(const SessionRequest& request) {
  BuildContext context{request.kit, request.target.root, request.options};
  context.verify = request.verify;
  context.stop = request.stop;
  context.fresh = request.fresh;
  context.expected_root = request.expected_root;
  return context;
}

// What the dry run says the build does for one item.
std::string DescribeItem(const SessionRequest& request, const PlanItem& item,
                         const ItemWork* work) {
  const std::string place = platform::JoinPayloadPath(request.target.root, item.relative);
  if (item.kind == ItemKind::kMaster) {
    return "write " + platform::JoinPayloadPath(request.kit, item.relative);
  }
  if (item.blocked) return "skip " + place;
  const Change change = work != nullptr ? work->change : Change::kWrite;
  if (change == Change::kKeep) {
    return (work->found_as.empty() ? "keep " : "rename ") + place;
  }
  if (item.kind == ItemKind::kFolder) return "mkdir " + place;
  if (item.kind == ItemKind::kKitFile) {
    return "copy " + platform::JoinPayloadPath(request.kit, item.Source()) + " -> " + place;
  }
  return "write " + place;
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
  ReportInterruption interruption{result.build.interruption_line, result.build.steps_not_done,
                                  result.build.interruption == BuildInterruption::kStopped,
                                  result.build.steps_total, result.build.drive_unavailable};
  interruption.in_place = result.build.in_place_line;
  result.report = MakeReportParts(input, interruption);
  return result;
}

SessionPlan PlanSession(platform::FileSystem& fs, const SessionRequest& request) {
  const BuildContext context = ContextOf(request);
  const DryRun dry = PlanDryRun(fs, context);
  SessionPlan plan;
  if (!dry.refusal.empty()) {
    plan.refusal = dry.refusal;
    return plan;
  }
  if (request.fresh) {
    for (const std::string& owned : dry.plan.owned) {
      plan.lines.push_back("remove " + platform::JoinPayloadPath(request.target.root, owned));
    }
  }
  for (std::size_t index = 0; index < dry.plan.items.size(); ++index) {
    const ItemWork* work = index < dry.changes.work.size() ? &dry.changes.work[index] : nullptr;
    plan.lines.push_back(DescribeItem(request, dry.plan.items[index], work));
  }
  for (const std::string& stale : dry.changes.stale) {
    plan.lines.push_back("remove " + platform::JoinPayloadPath(request.target.root, stale));
  }
  return plan;
}

}  // namespace talvex::build
