#include "engine/payload_steps.h"

#include <memory>
#include <string>
#include <utility>

#include "engine/step_actions.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

BuildStep RefusalStep(const BuildContext& context, std::string_view relative, std::string refusal) {
  BuildStep step{
      StepKind::kWriteGenerated, {}, platform::JoinPayloadPath(context.target_drive, relative), {}};
  step.run = [path = step.target, refusal = std::move(refusal)](BuildRun& run) {
    run.log().Record(StepFailure{std::string(action::kWriteFile), path, 0, refusal,
                                 platform::FsReason::kRefused});
  };
  return step;
}

// "\a\b\c" as the folder "\a\b" and the name "c".
struct SplitPath {
  std::string folder;
  std::string name;
};

SplitPath Split(std::string_view relative) {
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(relative, folder, name);
  return {std::string(folder), std::string(name)};
}

// A failure met on the drive's side of a step is named after the file the step was about: the
// folder that failed to open says less than the file that did not land.
platform::FsStatus AboutFile(platform::FsStatus status, const std::string& file) {
  if (!status.ok()) status.path = file;
  return status;
}

// Copies the kit file `relative` to the same place on the drive. Both folders are opened level
// by level below their roots, so no link in the kit or on the drive is followed.
platform::FsStatus CopyKitFile(BuildRun& run, const std::string& kit, const std::string& drive,
                               std::string_view relative) {
  const std::string spelled = fsutil::FindKitRelative(run.fs(), kit, relative);
  const SplitPath source = Split(spelled);
  const SplitPath target = Split(relative);
  const std::string target_path = platform::JoinPayloadPath(drive, relative);
  if (platform::FsStatus claimed = run.ClaimDriveName(drive, relative); !claimed) return claimed;
  platform::Directory* from = nullptr;
  platform::Directory* to = nullptr;
  if (platform::FsStatus opened = run.Folder(kit, source.folder, from); !opened) return opened;
  if (platform::FsStatus opened = run.Folder(drive, target.folder, to); !opened) {
    return AboutFile(opened, target_path);
  }
  platform::FsStatus copied = to->CopyFileIn(target.name, *from, source.name, run.MovedHook());
  if (copied) run.Wrote(std::string(relative), spelled);
  return copied;
}

// Records every file of a folder copy: each one written, each one that failed (the copy goes on
// past it), and each name that would replace one this build already wrote in another case.
class FolderCopyRecorder final : public platform::CopyListener {
 public:
  FolderCopyRecorder(BuildRun& run, const std::string& drive, std::string relative,
                     std::string spelled)
      : run_(run), drive_(drive), relative_(std::move(relative)), spelled_(std::move(spelled)) {}

  bool MayCopy(std::string_view inside) override {
    const std::string relative = relative_ + std::string(inside);
    run_.Working(platform::JoinPayloadPath(drive_, relative));
    return run_.log().Check(std::string(action::kCopyFile), run_.ClaimDriveName(drive_, relative));
  }
  void Moved(std::uint64_t bytes) override { run_.Moved(bytes); }
  void Copied(std::string_view inside) override {
    run_.Wrote(relative_ + std::string(inside), spelled_ + std::string(inside));
  }
  void Failed(const platform::FsStatus& failure, platform::CopiedEntry entry) override {
    run_.log().Check(std::string(entry == platform::CopiedEntry::kFile ? action::kCopyFile
                                                                       : action::kCopyFolder),
                     failure);
  }

 private:
  BuildRun& run_;
  const std::string& drive_;
  std::string relative_;
  std::string spelled_;
};

platform::FsStatus CopyKitFolder(BuildRun& run, const std::string& kit, const std::string& drive,
                                 std::string_view relative) {
  const std::string spelled = fsutil::FindKitRelative(run.fs(), kit, relative);
  platform::Directory* from = nullptr;
  platform::Directory* to = nullptr;
  if (platform::FsStatus opened = run.Folder(kit, spelled, from); !opened) return opened;
  if (platform::FsStatus opened = run.Folder(drive, relative, to); !opened) return opened;
  // Each file that fails is recorded by the recorder as it happens; the folder step itself
  // succeeded in going through the whole folder.
  FolderCopyRecorder recorder(run, drive, std::string(relative), spelled);
  platform::CopyTree(*from, *to, &recorder);
  return {};
}

using KitCopy = platform::FsStatus (*)(BuildRun&, const std::string&, const std::string&,
                                       std::string_view);

// A copy from the kit to the same relative place on the drive; the kit's own spelling of the
// path is looked up when the step runs.
BuildStep KitCopyStep(const BuildContext& context, std::string_view relative, StepKind kind,
                      std::string_view action, KitCopy copy) {
  BuildStep step{kind,
                 platform::JoinPayloadPath(context.source_root, relative),
                 platform::JoinPayloadPath(context.target_drive, relative),
                 {}};
  step.run = [kit = context.source_root, drive = context.target_drive,
              relative = std::string(relative), action = std::string(action), copy,
              target = step.target](BuildRun& run) {
    run.log().Check(action, copy(run, kit, drive, relative), target);
  };
  return step;
}

}  // namespace

BuildStep CopyKitFileStep(const BuildContext& context, std::string_view relative) {
  return KitCopyStep(context, relative, StepKind::kCopyFile, action::kCopyFile, &CopyKitFile);
}

BuildStep CopyKitFolderStep(const BuildContext& context, std::string_view relative) {
  return KitCopyStep(context, relative, StepKind::kCopyFolder, action::kCopyFolder, &CopyKitFolder);
}

GeneratedFileSteps PlanGeneratedFile(const BuildContext& context, std::string_view relative,
                                     GeneratedContent content) {
  if (!content.ok()) return {RefusalStep(context, relative, std::move(content.refusal)), {}};

  auto bytes = std::make_shared<const std::string>(std::move(content.bytes));
  const std::string master_path = platform::JoinPayloadPath(context.source_root, relative);
  const std::string target = platform::JoinPayloadPath(context.target_drive, relative);

  // The master in the kit is replaced as a whole, so a failed or interrupted write, or another
  // build on the same kit, never leaves it half written.
  BuildStep write{StepKind::kWriteGenerated, {}, master_path, {}};
  write.run = [kit = context.source_root, relative = std::string(relative), bytes,
               master_path](BuildRun& run) {
    const SplitPath master = Split(fsutil::FindKitRelative(run.fs(), kit, relative));
    platform::Directory* folder = nullptr;
    platform::FsStatus written = run.Folder(kit, master.folder, folder);
    if (written) written = folder->ReplaceFile(master.name, *bytes);
    run.log().Check(std::string(action::kWriteFile), written, master_path);
  };

  // The drive gets the content this build composed, not whatever the master holds by now:
  // another build sharing the kit may have replaced it since.
  BuildStep place{StepKind::kCopyFile, master_path, target, {}};
  place.run = [drive = context.target_drive, relative = std::string(relative), bytes,
               target](BuildRun& run) {
    const SplitPath path = Split(relative);
    platform::Directory* folder = nullptr;
    platform::FsStatus written = run.ClaimDriveName(drive, relative);
    if (written) written = AboutFile(run.Folder(drive, path.folder, folder), target);
    if (written) written = folder->WriteFileIn(path.name, *bytes);
    if (run.log().Check(std::string(action::kCopyFile), written, target)) {
      run.Wrote(relative, {}, bytes);
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
