#include "engine/stage.h"

#include "engine/step_actions.h"
#include "engine/verify.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::FsStatus;

std::string DrivePath(const BuildRun& run, std::string_view relative) {
  return platform::JoinPayloadPath(run.context().target_drive, relative);
}

// The failure as the report names it: after the item's place, not the temporary it was written
// to on the way (a failure of the kit's side keeps the kit file's path).
FsStatus AtPlace(const BuildRun& run, FsStatus status, const std::string& place) {
  if (!status.path.starts_with(run.context().source_root)) status.path = place;
  return status;
}

// The master in the kit is replaced as a whole, so a failed or interrupted write, or another
// build on the same kit, never leaves it half written.
void WriteMaster(BuildRun& run, const PlanItem& item) {
  const std::string spelled =
      fsutil::FindKitRelative(run.fs(), run.context().source_root, item.relative);
  const fsutil::SplitPath master = fsutil::SplitRelative(spelled);
  platform::Directory* folder = nullptr;
  FsStatus written = run.KitFolder(master.folder, folder);
  // A master that already holds these bytes (the same choices as last time) stays: replacing it
  // would flush the kit's disk for nothing.
  if (written && !CompareWithBytes(*folder, master.name, *item.bytes, false, {}).ok()) {
    written = folder->ReplaceFile(master.name, *item.bytes);
  }
  run.log().Check(action::kWriteFile, written,
                  platform::JoinPayloadPath(run.context().source_root, spelled));
}

FsStatus WriteOnDrive(BuildRun& run, const PlanItem& item, const ItemWork& work) {
  const fsutil::SplitPath at = fsutil::SplitRelative(work.staged);
  platform::Directory* folder = nullptr;
  if (FsStatus opened = run.DriveFolder(at.folder, folder); !opened) return opened;
  switch (item.kind) {
    case ItemKind::kFolder:
      return folder->CreateDirectory(at.name);
    case ItemKind::kGeneratedFile: {
      // The drive gets the content this build composed, not whatever the master holds by now:
      // another build sharing the kit may have replaced it since.
      FsStatus written = folder->WriteFileIn(at.name, *item.bytes);
      if (written) run.Moved(item.bytes->size());
      return written;
    }
    case ItemKind::kKitFile: {
      const fsutil::SplitPath source = fsutil::SplitRelative(item.Source());
      platform::Directory* in_kit = nullptr;
      if (FsStatus opened = run.KitFolder(source.folder, in_kit); !opened) return opened;
      // The drive's folder may have been let go while the kit's was opened: asked for again.
      if (FsStatus opened = run.DriveFolder(at.folder, folder); !opened) return opened;
      return folder->CopyFileIn(at.name, *in_kit, source.name, run.MovedHook());
    }
    case ItemKind::kMaster:
      break;
  }
  return {};
}

}  // namespace

StageEnd WriteChanges(BuildRun& run, const BuildPlan& plan, Changes& changes) {
  const std::size_t first = run.log().failures().size();
  if (RemoveEntries(run, changes.removed_first) == StageEnd::kDriveGone) {
    return StageEnd::kDriveGone;
  }
  for (std::size_t index = 0; index < plan.items.size(); ++index) {
    if (run.StopAsked()) return StageEnd::kStopped;
    ItemWork& work = changes.work[index];
    if (work.change != Change::kWrite) continue;
    const PlanItem& item = plan.items[index];
    if (item.kind == ItemKind::kMaster) {
      run.BeginStep(index, platform::JoinPayloadPath(run.context().source_root, item.relative));
      WriteMaster(run, item);
      continue;
    }
    const std::string place = DrivePath(run, item.relative);
    run.BeginStep(index, place);
    if (!run.DriveStillThere()) return StageEnd::kDriveGone;
    const FsStatus written = WriteOnDrive(run, item, work);
    if (written.reason == platform::FsReason::kStopped) return StageEnd::kStopped;
    if (!run.log().Check(ActionOf(item), AtPlace(run, written, place))) {
      work.change = Change::kAbsent;
    }
    if (DriveGoneSince(run, first)) return StageEnd::kDriveGone;
  }
  return StageEnd::kDone;
}

StageEnd FlushAndReadBack(BuildRun& run, const BuildPlan& plan, const Changes& changes) {
  const std::size_t first = run.log().failures().size();
  run.BeginStage(BuildStage::kFlushing, run.progress().bytes_total);
  platform::FsStatus root;
  if (platform::Directory* drive = run.Drive(root)) {
    run.log().Check(action::kFlush, drive->SyncVolume(), run.context().target_drive);
  }
  if (DriveGoneSince(run, first)) return StageEnd::kDriveGone;
  if (!run.context().verify) return StageEnd::kDone;

  std::vector<FileToCompare> written;
  for (std::size_t index = 0; index < plan.items.size(); ++index) {
    if (changes.work[index].change == Change::kWrite && plan.items[index].IsFile()) {
      written.push_back({index, changes.work[index].staged});
    }
  }
  run.BeginStage(BuildStage::kVerifying, run.progress().bytes_total);
  CompareFiles(run, plan, written, true, [&](std::size_t index, const FsStatus& same) {
    if (same.reason == platform::FsReason::kStopped) return;
    const std::size_t item = written[index].item;
    run.log().Check(action::kVerifyFile,
                    AtPlace(run, same, DrivePath(run, plan.items[item].relative)));
  });
  if (run.StopAsked()) return StageEnd::kStopped;
  return DriveGoneSince(run, first) ? StageEnd::kDriveGone : StageEnd::kDone;
}

void RemoveTemporaries(BuildRun& run, const BuildPlan& plan, const Changes& changes) {
  // What the temporaries were is of no interest in the report: they were never the user's.
  const std::size_t recorded = run.log().failures().size();
  for (std::size_t index = 0; index < plan.items.size(); ++index) {
    const ItemWork& work = changes.work[index];
    if (work.change == Change::kWrite && work.renamed_into_place) RemoveEntry(run, work.staged);
  }
  // The folders made for them, inner ones first; one that is not empty is somebody else's now.
  for (std::size_t index = plan.items.size(); index-- > 0;) {
    const ItemWork& work = changes.work[index];
    if (work.change != Change::kWrite || plan.items[index].kind != ItemKind::kFolder) continue;
    const fsutil::SplitPath at = fsutil::SplitRelative(work.staged);
    platform::Directory* folder = nullptr;
    if (run.DriveFolder(at.folder, folder)) folder->RemoveDirectory(at.name);
  }
  run.log().KeepFirst(recorded);
  platform::FsStatus root;
  if (platform::Directory* drive = run.Drive(root)) drive->SyncVolume();
}

}  // namespace talvex::build
