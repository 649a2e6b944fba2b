#include "engine/build_plan.h"

#include <string>
#include <vector>

#include "engine/app_folders.h"
#include "engine/generated_files.h"
#include "engine/payload_manifest.h"
#include "engine/payload_steps.h"
#include "engine/step_actions.h"
#include "engine/verify.h"
#include "fsutil/beneath.h"
#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::build {

BuildPlan PlanBuild(const BuildContext& context) {
  BuildPlan plan;
  plan.push_back(RemoveTreeStep(context, kPayloadRemoval));
  for (std::string_view directory : kSkeletonDirectories) {
    plan.push_back(MakeDirectoryStep(context, directory));
  }
  WriteAccessNfs(context, plan);
  WriteAccessSmb(context, plan);
  WriteLoaderList(context, plan);
  CopyAppFolders(context, plan);
  CopyManifest(context, plan);
  AppendFinishing(context, plan);
  return plan;
}

void WriteAccessNfs(const BuildContext& context, BuildPlan& plan) {
  if (!options::IsTicked(context.options.ChNfs)) return;
  AppendGeneratedFile(context, kAccessNfsPath,
                      ComposeGeneratedFile(kAccessNfsPieces, context.options), plan);
}

void WriteAccessSmb(const BuildContext& context, BuildPlan& plan) {
  if (!options::IsTicked(context.options.Chsmb)) return;
  AppendGeneratedFile(context, kAccessSmbPath,
                      ComposeGeneratedFile(kAccessSmbPieces, context.options), plan);
}

void WriteLoaderList(const BuildContext& context, BuildPlan& plan) {
  if (!AnyLoaderTicked(context.options)) return;
  // The start script goes onto the drive before the list it belongs with, and after the list's
  // master copy has been written.
  GeneratedFileSteps libraries = PlanGeneratedFile(
      context, kLibrariesPath, ComposeGeneratedFile(kLibrariesPieces, context.options));
  plan.push_back(std::move(libraries.write_master));
  plan.push_back(CopyKitFileStep(context, kGameInitPath));
  if (libraries.place) plan.push_back(std::move(*libraries.place));
}

void CopyAppFolders(const BuildContext& context, BuildPlan& plan) {
  for (const AppFolderEntry& entry : AppFolders) {
    if (!options::IsTicked(context.options.*entry.Condition)) continue;
    const std::string folder = "\\" + std::string(entry.FolderName);
    plan.push_back(RemoveTreeStep(context, folder + "\\"));
    plan.push_back(MakeDirectoryStep(context, folder));
    plan.push_back(CopyKitFolderStep(context, folder));
  }
}

void CopyManifest(const BuildContext& context, BuildPlan& plan) {
  for (const ManifestEntry& entry : PayloadManifest) {
    if (entry.Condition != nullptr && !options::IsTicked(context.options.*entry.Condition)) {
      continue;
    }
    plan.push_back(CopyKitFileStep(context, entry.RelativePath));
  }
}

// Finishing: nothing counts as done while it may still sit in the system's write cache, nor
// before it has been read back from the stick as it should be. The flush always runs; the
// read-back, one step per step that wrote to the drive, unless the caller turned it off.
void AppendFinishing(const BuildContext& context, BuildPlan& plan) {
  const std::size_t writers = plan.size();
  BuildStep flush{StepKind::kFlush, {}, context.target_drive, {}};
  flush.run = [drive = context.target_drive](BuildRun& run) {
    std::vector<std::string> written;
    for (const WrittenFile& file : run.written()) {
      written.push_back(platform::JoinPayloadPath(drive, file.relative));
    }
    for (const platform::FsStatus& failure : run.fs().Flush(drive, written)) {
      run.log().Check(std::string(action::kFlush), failure, drive);
    }
  };
  plan.push_back(std::move(flush));
  if (!context.verify) return;
  for (std::size_t writer = 0; writer < writers; ++writer) {
    if (plan[writer].kind != StepKind::kCopyFile && plan[writer].kind != StepKind::kCopyFolder) {
      continue;
    }
    BuildStep verify{StepKind::kVerify, {}, plan[writer].target, {}};
    verify.run = [kit = context.source_root, drive = context.target_drive, writer](BuildRun& run) {
      std::vector<const WrittenFile*> files;
      for (const WrittenFile& file : run.written()) {
        if (file.step == writer) files.push_back(&file);
      }
      VerifyWrittenFiles(run, kit, drive, files);
    };
    plan.push_back(std::move(verify));
  }
}

BuildStep RemoveTreeStep(const BuildContext& context, std::string_view relative) {
  BuildStep step{
      StepKind::kRemoveTree, {}, platform::JoinPayloadPath(context.target_drive, relative), {}};
  std::string_view inside = relative;
  while (inside.ends_with('\\')) inside.remove_suffix(1);
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(inside, folder, name);
  step.run = [drive = context.target_drive, folder = std::string(folder), name = std::string(name),
              path = step.target, protect = context.protected_folders](BuildRun& run) {
    run.ForgetFolders();  // what was opened below the folder is about to go
    platform::Directory* parent = nullptr;
    if (platform::FsStatus opened = run.Folder(drive, folder, parent); !opened) {
      run.log().Check(std::string(action::kRemoveFolder), opened, path);
      return;
    }
    fsutil::DelTreeOutcome outcome = fsutil::DelTreeBelow(*parent, name, protect);
    // A refusal means there was nothing to remove (no such folder): not a failure.
    if (outcome.result > 0) {
      run.log().Check(std::string(action::kRemoveFolder), outcome.failure, path);
    }
  };
  return step;
}

BuildStep MakeDirectoryStep(const BuildContext& context, std::string_view relative) {
  BuildStep step{
      StepKind::kMakeDirectory, {}, platform::JoinPayloadPath(context.target_drive, relative), {}};
  // Level by level below the drive's root, never through a link a failed removal left behind.
  step.run = [root = context.target_drive, relative = std::string(relative),
              path = step.target](BuildRun& run) {
    platform::Directory* drive = nullptr;
    platform::FsStatus made = run.Folder(root, {}, drive);
    if (made) made = fsutil::MakeDirBeneath(*drive, relative);
    run.log().Check(std::string(action::kCreateFolder), made, path);
  };
  return step;
}

}  // namespace talvex::build
