// The payload stages: each reads the options it needs and appends its steps to the plan.
#include "engine/stages.h"

#include "engine/app_folders.h"
#include "engine/generated_files.h"
#include "engine/payload_manifest.h"
#include "engine/payload_steps.h"
#include "platform/paths.h"

namespace talvex::build {

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

}  // namespace talvex::build
