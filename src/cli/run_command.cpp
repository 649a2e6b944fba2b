#include "cli/run_command.h"

#include <optional>
#include <utility>

#include "cli/command_line.h"
#include "cli/target.h"
#include "engine/session.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace talvex::cli {
namespace {

ExitStatus Refuse(Console& console, const std::string& why) {
  console.err << "talvex-build: " << why << '\n';
  return ExitStatus::kNothingDone;
}

std::string DescribeStep(const build::BuildStep& step) {
  std::string line = build::StepKindName(step.kind);
  line += ' ';
  if (!step.source.empty()) line += step.source + " -> ";
  line += step.target;
  return line;
}

// One line per step on standard error, for a person watching a terminal.
class ProgressLines final : public build::BuildObserver {
 public:
  explicit ProgressLines(std::ostream& err) : err_(err) {}
  void OnStep(std::size_t index, std::size_t total, const build::BuildStep& step) override {
    err_ << '[' << index + 1 << '/' << total << "] " << DescribeStep(step) << '\n';
  }

 private:
  std::ostream& err_;
};

// The kit folder when --source names none: the program's own folder when it holds a kit (the
// Windows layout, the program unpacked into the kit), else the current folder when it does. An
// installed program lives in a bin folder, so the current folder is what a user in a kit has.
std::optional<std::string> FindKitFolder(platform::FileSystem& fs, std::string& refusal) {
  const std::string program_folder = platform::ExecutableFolder();
  const std::string current_folder = platform::CurrentFolder();
  for (const std::string& folder : {program_folder, current_folder}) {
    if (!folder.empty() && fsutil::HoldsKit(fs, folder)) return folder;
  }
  refusal = "no kit found: neither the program's folder \"" + program_folder +
            "\" nor the current folder \"" + current_folder +
            "\" holds a Talvex folder; name the kit folder with --source DIR";
  return std::nullopt;
}

}  // namespace

ExitStatus RunCommand(const std::vector<std::string>& arguments, Console& console,
                      platform::FileSystem& fs) {
  ParsedCommandLine parsed = ParseCommandLine(arguments, console.in);
  if (parsed.kind == ParsedCommandLine::Kind::kInformation) {
    console.out << parsed.text;
    return ExitStatus::kBuilt;
  }
  if (parsed.kind == ParsedCommandLine::Kind::kRefused) return Refuse(console, parsed.text);
  Request& request = parsed.request;

  std::string refusal;
  std::optional<build::Target> target = CheckTarget(fs, request.target, refusal);
  if (!target) return Refuse(console, refusal);
  if (request.source_root.empty()) {
    std::optional<std::string> found = FindKitFolder(fs, refusal);
    if (!found) return Refuse(console, refusal);
    request.source_root = std::move(*found);
  }
  const std::string source = platform::WithoutTrailingSeparators(request.source_root);
  if (!IsExistingDirectory(fs, source)) {
    return Refuse(console, "the kit folder \"" + source + "\" does not exist");
  }
  build::SessionRequest session{source, std::move(*target), request.options,
                                platform::DecimalSeparator()};
  session.verify = request.verify;
  session.stop = console.stop;

  if (request.dry_run) {
    const build::SessionPlan plan = build::PlanSession(fs, session);
    if (plan.refusal) return Refuse(console, *plan.refusal);
    for (const build::BuildStep& step : plan.steps) console.out << DescribeStep(step) << '\n';
    return ExitStatus::kBuilt;
  }

  ProgressLines progress(console.err);
  const build::SessionResult result =
      build::RunSession(fs, session, console.err_is_terminal ? &progress : nullptr);
  if (result.build.refused) return Refuse(console, result.build.refusal);
  console.out << build::ConsoleReportText(result.report);
  return result.build.Complete() ? ExitStatus::kBuilt : ExitStatus::kStepsFailed;
}

}  // namespace talvex::cli
