#include "engine/payload_steps.h"

#include <memory>
#include <string>
#include <utility>

#include "engine/run_build.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

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

// The kit's folder and name of the entry `relative`, in the kit's own spelling.
struct KitEntry {
  std::string folder;
  std::string name;
};

KitEntry FindKitEntry(platform::FileSystem& fs, const std::string& root,
                      std::string_view relative) {
  const std::string spelled = fsutil::FindKitRelative(fs, root, relative);
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(spelled, folder, name);
  return {std::string(folder), std::string(name)};
}

// Copies the kit file `relative` to the same place on the drive. Both folders are opened level
// by level below their roots, so no link in the kit or on the drive is followed.
platform::FsStatus CopyKitFile(platform::FileSystem& fs, const std::string& kit,
                               const std::string& drive, std::string_view relative) {
  const KitEntry source = FindKitEntry(fs, kit, relative);
  std::unique_ptr<platform::Directory> from;
  if (platform::FsStatus opened = fsutil::OpenBeneath(fs, kit, source.folder, from); !opened) {
    return opened;
  }
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(relative, folder, name);
  std::unique_ptr<platform::Directory> to;
  if (platform::FsStatus opened = fsutil::OpenBeneath(fs, drive, folder, to); !opened) {
    return opened;
  }
  return to->CopyFileIn(name, *from, source.name);
}

platform::FsStatus CopyKitFolder(platform::FileSystem& fs, const std::string& kit,
                                 const std::string& drive, std::string_view relative) {
  std::unique_ptr<platform::Directory> from;
  const std::string spelled = fsutil::FindKitRelative(fs, kit, relative);
  if (platform::FsStatus opened = fsutil::OpenBeneath(fs, kit, spelled, from); !opened) {
    return opened;
  }
  std::unique_ptr<platform::Directory> to;
  if (platform::FsStatus opened = fsutil::OpenBeneath(fs, drive, relative, to); !opened) {
    return opened;
  }
  return platform::CopyTree(*from, *to);
}

using KitCopy = platform::FsStatus (*)(platform::FileSystem&, const std::string&,
                                       const std::string&, std::string_view);

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
              target = step.target](platform::FileSystem& fs, FailureLog& log) {
    log.Check(action, copy(fs, kit, drive, relative), target);
  };
  return step;
}

// Writes `bytes` as the file `relative` below `root`: as a new file on the drive, or replacing
// the kit's master as a whole.
platform::FsStatus WriteBeneath(platform::FileSystem& fs, const std::string& root,
                                std::string_view folder, std::string_view name,
                                std::string_view bytes, bool replace) {
  std::unique_ptr<platform::Directory> directory;
  if (platform::FsStatus opened = fsutil::OpenBeneath(fs, root, folder, directory); !opened) {
    return opened;
  }
  return replace ? directory->ReplaceFile(name, bytes) : directory->WriteFileIn(name, bytes);
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
  write.run = [kit = context.source_root, relative = std::string(relative), bytes, master_path](
                  platform::FileSystem& fs, FailureLog& log) {
    const KitEntry master = FindKitEntry(fs, kit, relative);
    log.Check(std::string(action::kWriteFile),
              WriteBeneath(fs, kit, master.folder, master.name, *bytes, true), master_path);
  };

  // The drive gets the content this build composed, not whatever the master holds by now:
  // another build sharing the kit may have replaced it since.
  BuildStep place{StepKind::kCopyFile, master_path, target, {}};
  place.run = [drive = context.target_drive, relative = std::string(relative), bytes, target](
                  platform::FileSystem& fs, FailureLog& log) {
    std::string_view folder;
    std::string_view name;
    fsutil::SplitRelative(relative, folder, name);
    log.Check(std::string(action::kCopyFile), WriteBeneath(fs, drive, folder, name, *bytes, false),
              target);
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
