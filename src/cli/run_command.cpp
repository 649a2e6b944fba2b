#include "cli/run_command.h"

#include <optional>
#include <utility>

#include "cli/command_line.h"
#include "cli/target.h"
#include "engine/session.h"
#include "engine/guard.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace talvex::cli {
namespace {

ExitStatus Refuse(Console& console, const std::string& why) {
  console.err << "talvex-build: " << why << '\n';
  return ExitStatus::kNothingDone;
}

const char* StageName(build::BuildStage stage) {
  switch (stage) {
    case build::BuildStage::kRemoving:
      return "removing";
    case build::BuildStage::kComparing:
      return "comparing";
    case build::BuildStage::kWriting:
      return "writing";
    case build::BuildStage::kFlushing:
      return "flushing";
    case build::BuildStage::kVerifying:
      return "reading back";
    case build::BuildStage::kCommitting:
      return "committing";
    case build::BuildStage::kMeasuring:
      return "measuring";
  }
  return "";
}

// A line for each stage and for the file in hand, on standard error, for a person watching a
// terminal: "[writing 12/570] /media/stick/Talvex/rcTVX".
class ProgressLines final : public build::BuildObserver {
 public:
  explicit ProgressLines(std::ostream& err) : err_(err) {}
  void OnProgress(const build::BuildProgress& progress) override {
    if (progress.stage == stage_ && progress.item == item_) return;
    stage_ = progress.stage;
    item_ = progress.item;
    err_ << '[' << StageName(progress.stage);
    if (progress.steps > 0) err_ << ' ' << progress.step << '/' << progress.steps;
    err_ << "] " << progress.item << '\n';
  }

 private:
  std::ostream& err_;
  build::BuildStage stage_ = build::BuildStage::kMeasuring;
  std::string item_ = "-";
};

// The kit folder when --source names none: the program's own folder when it holds a kit (the
// Windows layout, the program unpacked into the kit), else the current folder when it does. An
// installed program lives in a bin folder, so the current folder is what a user in a kit has.
std::optional<std::string> FindKitFolder(platform::FileSystem& fs, std::string& refusal) {
  const std::string program_folder = platform::ExecutableFolder();
  const std::string current_folder = platform::CurrentFolder();
  for (const std::string& folder : {program_folder, current_folder}) {
    if (!folder.empty() && build::HoldsKit(fs, folder)) return folder;
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
  std::optional<build::Target> target = CheckTarget(fs, request.target, request.any_drive, refusal);
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
  if (console.catch_interrupts) console.catch_interrupts();
  build::SessionRequest session{source, std::move(*target), request.options,
                                platform::DecimalSeparator()};
  session.verify = request.verify;
  session.fresh = request.fresh;
  session.stop = console.stop;

  if (request.dry_run) {
    const build::SessionPlan plan = build::PlanSession(fs, session);
    if (plan.refusal) return Refuse(console, *plan.refusal);
    for (const std::string& line : plan.lines) console.out << line << '\n';
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
