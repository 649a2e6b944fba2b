#include "engine/removal.h"

#include "engine/step_actions.h"
#include "fsutil/beneath.h"
#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::build {

bool DriveGoneSince(const BuildRun& run, std::size_t first) {
  const std::vector<StepFailure>& failures = run.log().failures();
  for (std::size_t i = first; i < failures.size(); ++i) {
    if (failures[i].reason == platform::FsReason::kDriveGone) return true;
  }
  return false;
}

void RemoveEntry(BuildRun& run, std::string_view relative) {
  const auto [folder_relative, name] = fsutil::SplitRelative(relative);
  const std::string path = platform::JoinPayloadPath(run.context().target_drive, relative);
  platform::Directory* folder = nullptr;
  if (platform::FsStatus opened = run.DriveFolder(folder_relative, folder); !opened) {
    run.log().Check(action::kRemoveFolder, opened, path);
    return;
  }
  std::uint32_t attributes = 0;
  if (!folder->EntryAttributes(name, attributes)) return;  // gone already
  const bool is_folder = (attributes & platform::kAttrDirectory) != 0 &&
                         (attributes & platform::kAttrReparsePoint) == 0;
  if (is_folder) {
    run.ForgetFolders();  // what was opened below it is about to go
    if (!run.DriveFolder(folder_relative, folder)) return;
    const fsutil::DelTreeOutcome outcome =
        fsutil::DelTreeBelow(*folder, name, run.context().protected_folders);
    if (outcome.result > 0) run.log().Check(action::kRemoveFolder, outcome.failure, path);
    return;
  }
  platform::FsStatus removed;
  if ((attributes & platform::kAttrReparsePoint) != 0 &&
      (attributes & platform::kAttrDirectory) != 0) {
    removed = folder->RemoveDirectory(name);  // a directory link goes as itself
  } else {
    if ((attributes & ~(platform::kAttrDevice | platform::kAttrReparsePoint)) != 0) {
      removed = folder->SetAttributes(name, platform::kAttrNormal);
    }
    if (removed) removed = folder->DeleteFile(name);
  }
  run.log().Check(action::kRemoveFile, removed, path);
}

StageEnd RemoveEntries(BuildRun& run, const std::vector<std::string>& entries) {
  const std::size_t first = run.log().failures().size();
  for (const std::string& entry : entries) {
    run.Working(platform::JoinPayloadPath(run.context().target_drive, entry));
    RemoveEntry(run, entry);
    if (DriveGoneSince(run, first)) return StageEnd::kDriveGone;
  }
  return StageEnd::kDone;
}

}  // namespace talvex::build
