#include "engine/payload_steps.h"

#include <memory>
#include <string>
#include <utility>

#include "engine/run_build.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

// What the master write of a generated file left for the step that places it.
struct MasterOutcome {
  bool written = false;
  std::string path;  // where the master was written, as found in the kit
};

BuildStep RefusalStep(const BuildContext& context, std::string_view relative, std::string refusal) {
  BuildStep step{
      StepKind::kWriteGenerated, {}, platform::JoinPayloadPath(context.target_drive, relative), {}};
  step.run = [path = step.target, refusal = std::move(refusal)](platform::FileSystem&,
                                                                FailureLog& log) {
    log.Record(StepFailure{std::string(action::kWriteFile), path, 0, refusal});
  };
  return step;
}

}  // namespace

namespace {

// A copy from the kit to the same relative place on the drive; the kit's own spelling of the
// path is looked up when the step runs.
BuildStep KitCopyStep(const BuildContext& context, std::string_view relative, StepKind kind,
                      std::string_view action,
                      platform::FsStatus (platform::FileSystem::*copy)(const std::string&,
                                                                       const std::string&)) {
  BuildStep step{kind,
                 platform::JoinPayloadPath(context.source_root, relative),
                 platform::JoinPayloadPath(context.target_drive, relative),
                 {}};
  step.run = [root = context.source_root, relative = std::string(relative), target = step.target,
              action = std::string(action), copy](platform::FileSystem& fs, FailureLog& log) {
    const std::string source = fsutil::FindKitPath(fs, root, relative);
    log.Check(action, (fs.*copy)(source, target), source);
  };
  return step;
}

}  // namespace

BuildStep CopyKitFileStep(const BuildContext& context, std::string_view relative) {
  return KitCopyStep(context, relative, StepKind::kCopyFile, action::kCopyFile,
                     &platform::FileSystem::CopyFile);
}

BuildStep CopyKitFolderStep(const BuildContext& context, std::string_view relative) {
  return KitCopyStep(context, relative, StepKind::kCopyFolder, action::kCopyFolder,
                     &platform::FileSystem::CopyFolder);
}

GeneratedFileSteps PlanGeneratedFile(const BuildContext& context, std::string_view relative,
                                     GeneratedContent content) {
  if (!content.ok()) return {RefusalStep(context, relative, std::move(content.refusal)), {}};

  auto bytes = std::make_shared<const std::string>(std::move(content.bytes));
  auto master = std::make_shared<MasterOutcome>();
  const std::string master_path = platform::JoinPayloadPath(context.source_root, relative);
  const std::string target = platform::JoinPayloadPath(context.target_drive, relative);

  BuildStep write{StepKind::kWriteGenerated, {}, master_path, {}};
  write.run = [root = context.source_root, relative = std::string(relative), bytes, master](
                  platform::FileSystem& fs, FailureLog& log) {
    master->path = fsutil::FindKitPath(fs, root, relative);
    master->written = log.Check(std::string(action::kWriteFile), fs.WriteFile(master->path, *bytes),
                                master->path);
  };

  BuildStep place{StepKind::kCopyFile, master_path, target, {}};
  place.run = [bytes, master, target](platform::FileSystem& fs, FailureLog& log) {
    if (master->written) {
      log.Check(std::string(action::kCopyFile), fs.CopyFile(master->path, target), target);
    } else {
      log.Check(std::string(action::kWriteFile), fs.WriteFile(target, *bytes), target);
    }
  };
  return {std::move(write), std::move(place)};
}

void AppendGeneratedFile(const BuildContext& context, std::string_view relative,
                         GeneratedContent content, BuildPlan& plan) {
  GeneratedFileSteps steps = PlanGeneratedFile(context, relative, std::move(content));
  plan.push_back(std::move(steps.write_master));
  if (steps.place) plan.push_back(std::move(*steps.place));
}

}  // namespace talvex::build
