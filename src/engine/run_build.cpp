#include "engine/run_build.h"

#include <optional>

#include "engine/commit.h"
#include "engine/failure_words.h"
#include "engine/guard.h"
#include "engine/stage.h"
#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::FsStatus;

std::string UnavailableLine(const std::string& drive, const FsStatus& failure) {
  return "Диск \"" + drive + "\" недоступен: " + FailureReasonText(failure) +
         ". Сборка не начата, на диск ничего не записано.";
}

std::string Megabytes(std::uint64_t bytes) {
  return std::to_string((bytes + 1048575) / 1048576) + " МБ";
}

// Refusals made before the first byte is written, when the plan cannot fit the drive.
std::optional<std::string> CheckRoom(const BuildContext& context, const BuildPlan& plan,
                                     const Changes& changes, const platform::VolumeFacts& volume,
                                     bool& in_place) {
  in_place = false;
  if (volume.largest_file) {
    for (const PlanItem& item : plan.items) {
      if (item.IsFile() && !item.blocked && item.Size() > *volume.largest_file) {
        return "Файл \"" + platform::JoinPayloadPath(context.source_root, item.Source()) +
               "\" занимает " + Megabytes(item.Size()) +
               ", а файловая система флешки (FAT32) не вмещает файлов больше 4 ГБ. Сборка не "
               "начата, флешка не тронута.";
      }
    }
  }
  if (!volume.free_bytes || changes.bytes_to_write <= *volume.free_bytes) return std::nullopt;
  const std::uint64_t freed = changes.bytes_replaced + changes.bytes_stale;
  if (changes.bytes_to_write > *volume.free_bytes + freed) {
    return "На флешке \"" + context.target_drive + "\" не хватит места: записать нужно " +
           Megabytes(changes.bytes_to_write) + ", свободно " + Megabytes(*volume.free_bytes) +
           " и освободится " + Megabytes(freed) + ". Сборка не начата, флешка не тронута.";
  }
  in_place = true;
  return std::nullopt;
}

// One build, stage after stage, as a reader follows it.
class Build {
 public:
  Build(platform::FileSystem& fs, const BuildContext& context, BuildObserver* observer)
      : fs_(fs), context_(Guarded(fs, context)), run_(fs, context_), observer_(observer) {}

  BuildResult Run() {
    if (!HoldsKit(fs_, context_.source_root)) return Refuse(NoKitMessage(context_.source_root));
    FsStatus root_failure;
    drive_ = run_.Drive(root_failure);
    if (drive_ == nullptr) {
      result_.drive_unavailable = UnavailableLine(context_.target_drive, root_failure);
      result_.interruption = BuildInterruption::kDriveGone;
      return std::move(result_);
    }
    if (context_.expected_root && drive_->id() != *context_.expected_root) {
      return Refuse("Диск \"" + context_.target_drive +
                    "\" уже не тот, что был выбран: его отключили или заменили. Сборка не "
                    "начата, флешка не тронута.");
    }
    // Taken first: a drive another build holds is refused before even the kit's token is left.
    if (auto busy = LockDriveForBuild(*drive_, context_.target_drive)) return Refuse(*busy);
    if (auto overlap = CheckDriveRoot(fs_, context_, *drive_, KitProbe::kToken)) {
      return Refuse(*overlap);
    }

    plan_ = PlanBuild(run_);
    result_.steps_total = plan_.items.size();
    run_.Observe(observer_, plan_.items.size());
    if (context_.fresh) {
      run_.BeginStage(BuildStage::kRemoving, 0);
      if (RemoveEntries(run_, plan_.owned) == StageEnd::kDriveGone) return Gone(false);
    }
    run_.BeginStage(BuildStage::kComparing, 0);
    changes_ = CompareWithDrive(run_, plan_);
    if (run_.StopAsked()) return Stopped();

    platform::VolumeFacts volume;
    drive_->Volume(volume);
    bool in_place = false;
    if (auto no_room = CheckRoom(context_, plan_, changes_, volume, in_place)) {
      return Refuse(*no_room);
    }
    if (in_place) {
      result_.in_place_line =
          "Места на флешке не хватило, чтобы сохранить прежнюю сборку на время записи: "
          "изменённые файлы записаны прямо на место прежних.";
      if (RemoveEntries(run_, PlaceInPlace(plan_, changes_)) == StageEnd::kDriveGone) {
        return Gone(false);
      }
    }

    const std::uint64_t written = changes_.bytes_to_write;
    run_.BeginStage(BuildStage::kWriting,
                    run_.progress().bytes_done + written + (context_.verify ? written : 0));
    if (StageEnd end = WriteChanges(run_, plan_, changes_); end != StageEnd::kDone) {
      return EndedBeforeCommit(end);
    }
    if (StageEnd end = FlushAndReadBack(run_, plan_, changes_); end != StageEnd::kDone) {
      return EndedBeforeCommit(end);
    }
    if (!run_.DriveStillThere()) return EndedBeforeCommit(StageEnd::kDriveGone);
    // Short, and what it begins it ends: a stop asked now is heard when it is done.
    if (Commit(run_, plan_, changes_) == StageEnd::kDriveGone) return Gone(true);
    result_.bytes_written = WrittenBytes();

    run_.BeginStage(BuildStage::kMeasuring, run_.progress().bytes_total);
    result_.size_bytes = fsutil::SizeOfBelow(*drive_, kPayloadFolder.substr(1));
    result_.failures = run_.log().TakeFailures();
    return std::move(result_);
  }

 private:
  static BuildContext Guarded(platform::FileSystem& fs, const BuildContext& context) {
    BuildContext guarded = context;
    guarded.protected_folders = FolderAndAncestors(fs, context.source_root);
    return guarded;
  }

  BuildResult Refuse(std::string why) {
    BuildResult refused;
    refused.refused = true;
    refused.refusal = std::move(why);
    return refused;
  }

  // The items that are not where the plan puts them: everything still to be written.
  std::size_t NotDone() const {
    std::size_t not_done = 0;
    for (const ItemWork& work : changes_.work) {
      if (work.change == Change::kWrite) ++not_done;
    }
    return changes_.work.empty() ? plan_.items.size() : not_done;
  }

  std::uint64_t WrittenBytes() const {
    std::uint64_t bytes = 0;
    for (std::size_t index = 0; index < plan_.items.size(); ++index) {
      if (changes_.work[index].change == Change::kWrite && plan_.items[index].IsFile()) {
        bytes += plan_.items[index].Size();
      }
    }
    return bytes;
  }

  BuildResult Interrupted(BuildInterruption why, std::string line) {
    result_.steps_not_done = NotDone();
    result_.interruption = why;
    result_.interruption_line = std::move(line);
    result_.failures = run_.log().TakeFailures();
    return std::move(result_);
  }

  BuildResult Stopped() {
    return Interrupted(BuildInterruption::kStopped,
                       result_.in_place_line.empty()
                           ? "Сборка остановлена по вашей просьбе; на флешке осталась прежняя "
                             "сборка, без изменений."
                           : "Сборка остановлена по вашей просьбе; часть прежних файлов уже "
                             "заменена новыми, соберите флешку ещё раз.");
  }

  BuildResult Gone(bool committing) {
    return Interrupted(
        BuildInterruption::kDriveGone,
        "Диск \"" + context_.target_drive + "\" отключён во время сборки" +
            (committing ? "; на нём смесь прежней и новой сборки, следующая сборка на этот "
                          "диск всё исправит."
                        : "; прежняя сборка на нём осталась целой, временные файлы уберёт "
                          "следующая сборка."));
  }

  BuildResult EndedBeforeCommit(StageEnd end) {
    RemoveTemporaries(run_, plan_, changes_);
    return end == StageEnd::kStopped ? Stopped() : Gone(false);
  }

  platform::FileSystem& fs_;
  const BuildContext context_;
  BuildRun run_;
  BuildObserver* observer_;
  platform::Directory* drive_ = nullptr;
  BuildPlan plan_;
  Changes changes_;
  BuildResult result_;
};

}  // namespace

BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer) {
  return Build(fs, context, observer).Run();
}

DryRun PlanDryRun(platform::FileSystem& fs, const BuildContext& context) {
  DryRun dry;
  if (!HoldsKit(fs, context.source_root)) {
    dry.refusal = NoKitMessage(context.source_root);
    return dry;
  }
  BuildRun run(fs, context);
  FsStatus root_failure;
  platform::Directory* drive = run.Drive(root_failure);
  if (drive == nullptr) {
    dry.refusal = UnavailableLine(context.target_drive, root_failure);
    return dry;
  }
  // A dry run writes nothing, not even the kit's token: identities and spellings only.
  if (auto overlap = CheckDriveRoot(fs, context, *drive, KitProbe::kIdentityOnly)) {
    dry.refusal = *overlap;
    return dry;
  }
  dry.plan = PlanBuild(run);
  if (!context.fresh) dry.changes = CompareWithDrive(run, dry.plan);
  return dry;
}

}  // namespace talvex::build
