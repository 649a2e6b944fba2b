#include "cli/run_command.h"

#include <optional>

#include "cli/command_line.h"
#include "cli/target.h"
#include "engine/build_report.h"
#include "engine/run_build.h"
#include "platform/process.h"

namespace talvex::cli {
namespace {

int Refuse(Console& console, const std::string& why) {
  console.err << "talvex-build: " << why << '\n';
  return kExitNothingDone;
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

}  // namespace

int RunCommand(const std::vector<std::string>& arguments, Console& console,
               platform::FileSystem& fs) {
  ParsedCommandLine parsed = ParseCommandLine(arguments, console.in);
  if (parsed.kind == ParsedCommandLine::Kind::kInformation) {
    console.out << parsed.text;
    return kExitBuilt;
  }
  if (parsed.kind == ParsedCommandLine::Kind::kRefused) return Refuse(console, parsed.text);
  Request& request = parsed.request;

  std::string refusal;
  const std::optional<Target> target = CheckTarget(fs, request.target, refusal);
  if (!target) return Refuse(console, refusal);
  const std::string source = WithoutTrailingSeparators(
      request.source_root.empty() ? platform::ExecutableFolder() : request.source_root);
  if (!IsExistingDirectory(fs, source)) {
    return Refuse(console, "the kit folder \"" + source + "\" does not exist");
  }
  request.options.Drive1 = target->drive_list;
  build::BuildContext context{source, target->drive, request.options};
  context.verify = request.verify;
  if (std::optional<std::string> overlap = build::CheckTargetOverlap(fs, context)) {
    return Refuse(console, *overlap);
  }

  if (request.dry_run) {
    for (const build::BuildStep& step : build::PlanBuild(context)) {
      console.out << DescribeStep(step) << '\n';
    }
    return kExitBuilt;
  }

  ProgressLines progress(console.err);
  const build::BuildResult result =
      build::RunBuild(fs, context, console.err_is_terminal ? &progress : nullptr);
  if (result.refused) return Refuse(console, result.refusal);

  build::ReportInput input;
  input.size_bytes = result.size_bytes;
  input.drive_letter = target->report_drive;
  input.source_root = source;
  input.options = &request.options;
  input.failures = &result.failures;
  input.decimal_separator = platform::DecimalSeparator();
  console.out << build::ConsoleReportText(build::MakeBuildReport(input));
  return result.failures.empty() ? kExitBuilt : kExitStepsFailed;
}

}  // namespace talvex::cli
