#include "engine/commit.h"

#include "engine/step_actions.h"
#include "fsutil/beneath.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::FsStatus;

std::string_view LastName(std::string_view relative) {
  return relative.substr(relative.rfind('\\') + 1);
}

class Committer {
 public:
  Committer(BuildRun& run, const BuildPlan& plan, const Changes& changes)
      : run_(run), plan_(plan), changes_(changes), first_(run.log().failures().size()) {}

  StageEnd Run() {
    run_.ForgetFolders();
    // Out of the way first: a folder where a file goes, a name in another letter case.
    if (RemoveEntries(run_, changes_.stale) == StageEnd::kDriveGone) return StageEnd::kDriveGone;
    for (std::size_t index = 0; index < plan_.items.size(); ++index) {
      const ItemWork& work = changes_.work[index];
      const PlanItem& item = plan_.items[index];
      if (item.kind == ItemKind::kMaster) continue;
      run_.BeginStep(index, Place(item));
      if (work.change == Change::kWrite && work.renamed_into_place && item.IsFile()) {
        PutInPlace(index, work);
      } else if (work.change == Change::kAbsent && work.replaces_old) {
        // The old file stays no more than a fresh build would have left it.
        RemoveEntry(run_, std::string(fsutil::SplitRelative(work.staged).folder) + "\\" +
                              std::string(LastName(item.relative)));
      } else if (work.change == Change::kKeep) {
        FixKeptFile(index);
      }
      if (DriveGoneSince(run_, first_)) return StageEnd::kDriveGone;
    }
    FixFolderAttributes();
    if (DriveGoneSince(run_, first_)) return StageEnd::kDriveGone;
    platform::FsStatus root;
    if (platform::Directory* drive = run_.Drive(root)) {
      run_.log().Check(action::kFlush, drive->SyncVolume(), run_.context().target_drive);
    }
    return DriveGoneSince(run_, first_) ? StageEnd::kDriveGone : StageEnd::kDone;
  }

 private:
  std::string Place(const PlanItem& item) const {
    return platform::JoinPayloadPath(run_.context().target_drive, item.relative);
  }

  // Renames the entry `staged` within its folder to `name`, recording a failure against the
  // item's place.
  bool RenameInFolder(std::size_t index, std::string_view staged, std::string_view name) {
    const fsutil::SplitPath at = fsutil::SplitRelative(staged);
    platform::Directory* folder = nullptr;
    FsStatus renamed = run_.DriveFolder(at.folder, folder);
    if (renamed) renamed = folder->Rename(at.name, name);
    if (!renamed) renamed.path = Place(plan_.items[index]);
    return run_.log().Check(action::kRenameEntry, renamed);
  }

  // A new file or folder that could not take its place is taken away: nothing of ours stays
  // under a temporary name.
  void PutInPlace(std::size_t index, const ItemWork& work) {
    const std::string_view name = LastName(plan_.items[index].relative);
    if (work.replaces_old) MakeOldFileNormal(work.staged, name);
    if (RenameInFolder(index, work.staged, name)) return;
    const std::size_t recorded = run_.log().failures().size();
    RemoveEntry(run_, work.staged);
    run_.log().KeepFirst(recorded);
  }

  // A read-only old file would refuse to be replaced on Windows.
  void MakeOldFileNormal(std::string_view staged, std::string_view name) {
    platform::Directory* folder = nullptr;
    if (run_.DriveFolder(fsutil::SplitRelative(staged).folder, folder)) {
      folder->SetAttributes(name, platform::kAttrNormal);
    }
  }

  // A name that differs only in letter case goes through a temporary name: some file systems
  // take a rename to the same name in other letters for no rename at all.
  void FixCase(std::size_t index, std::string_view staged) {
    const fsutil::SplitPath at = fsutil::SplitRelative(staged);
    const std::string through = TemporaryEntryName();
    RenameInFolder(index, staged, through);
    RenameInFolder(index, std::string(at.folder) + "\\" + through,
                   LastName(plan_.items[index].relative));
  }

  void FixKeptFile(std::size_t index) {
    const ItemWork& work = changes_.work[index];
    const PlanItem& item = plan_.items[index];
    if (item.kind == ItemKind::kFolder) return;  // folders after the files in them
    if (!work.found_as.empty()) FixCase(index, work.staged);
    if (!work.fix_attributes && !work.fix_time) return;
    const fsutil::SplitPath at = fsutil::SplitRelative(work.staged);
    platform::Directory* folder = nullptr;
    FsStatus fixed = run_.DriveFolder(at.folder, folder);
    const std::string_view name = LastName(item.relative);
    if (fixed && work.fix_attributes) fixed = folder->SetAttributes(name, platform::kAttrNormal);
    if (fixed && work.fix_time) fixed = folder->SetModified(name, item.modified);
    run_.log().Check(ActionOf(item), fixed, Place(item));
  }

  // Kept folders that were read-only, hidden or system are made normal, as new ones are.
  void FixFolderAttributes() {
    for (std::size_t index = 0; index < plan_.items.size(); ++index) {
      const ItemWork& work = changes_.work[index];
      const PlanItem& item = plan_.items[index];
      if (item.kind != ItemKind::kFolder || work.change != Change::kKeep || !work.fix_attributes) {
        continue;
      }
      run_.BeginStep(index, Place(item));
      const fsutil::SplitPath at = fsutil::SplitRelative(work.staged);
      platform::Directory* folder = nullptr;
      FsStatus fixed = run_.DriveFolder(at.folder, folder);
      if (fixed) fixed = folder->SetAttributes(at.name, platform::kAttrNormal);
      run_.log().Check(ActionOf(item), fixed, Place(item));
    }
  }

  BuildRun& run_;
  const BuildPlan& plan_;
  const Changes& changes_;
  std::size_t first_;
};

}  // namespace

StageEnd Commit(BuildRun& run, const BuildPlan& plan, const Changes& changes) {
  run.BeginStage(BuildStage::kCommitting, run.progress().bytes_total);
  return Committer(run, plan, changes).Run();
}

}  // namespace talvex::build
