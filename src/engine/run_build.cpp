#include "engine/run_build.h"

#include <cstdint>
#include <optional>

#include "engine/build_plan.h"
#include "engine/failure_words.h"
#include "engine/guard.h"
#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

// Whether the build's failures from `first` on say the device itself is gone.
bool DeviceGoneAmong(const std::vector<StepFailure>& failures, std::size_t first) {
  for (std::size_t i = first; i < failures.size(); ++i) {
    if (platform::IsDeviceGone(failures[i].code)) return true;
  }
  return false;
}

BuildStage StageOf(StepKind kind) {
  switch (kind) {
    case StepKind::kRemoveTree:
      return BuildStage::kRemoving;
    case StepKind::kFlush:
      return BuildStage::kFlushing;
    case StepKind::kVerify:
      return BuildStage::kVerifying;
    default:
      return BuildStage::kCopying;
  }
}

// What the plan will copy from the kit, as the kit is now: the bar's whole length. Each copy is
// read back once more when the build verifies.
std::uint64_t BytesToMove(platform::FileSystem& fs, const BuildContext& context,
                          const BuildPlan& plan) {
  std::uint64_t copied = 0;
  for (const BuildStep& step : plan) {
    if (step.kind == StepKind::kCopyFolder) {
      copied += static_cast<std::uint64_t>(fsutil::SizeOf(fs, step.source));
    } else if (step.kind == StepKind::kCopyFile && !step.source.empty()) {
      std::uint64_t length = 0;
      if (fs.FileLength(step.source, length)) copied += length;
    }
  }
  return context.verify ? 2 * copied : copied;
}

bool StopAsked(const BuildContext& context) {
  return context.stop != nullptr && context.stop->load(std::memory_order_relaxed);
}

std::string InterruptionLine(BuildInterruption interruption, const std::string& drive) {
  if (interruption == BuildInterruption::kStopped) {
    return "Сборка остановлена по вашей просьбе; записанное сброшено на диск.";
  }
  return "Диск \"" + drive + "\" отключён во время сборки.";
}

std::string UnavailableLine(const std::string& drive, const platform::FsStatus& failure) {
  return "Диск \"" + drive + "\" недоступен: " + FailureReasonText(failure) +
         ". Сборка не начата, на диск ничего не записано.";
}

}  // namespace

BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer) {
  BuildResult result;
  auto refuse = [&result](std::string why) {
    result.refused = true;
    result.refusal = std::move(why);
    return result;
  };
  if (!HoldsKit(fs, context.source_root)) return refuse(NoKitMessage(context.source_root));
  BuildContext guarded = context;
  guarded.protected_folders = FolderAndAncestors(fs, context.source_root);

  // The drive is opened once, here; every check and every step works below this handle.
  BuildRun run(fs);
  platform::FsStatus root_failure;
  platform::Directory* drive = run.Root(context.target_drive, root_failure);
  if (drive != nullptr) {
    // Taken first: a drive another build holds is refused before even the kit's token is left.
    if (auto busy = LockDriveForBuild(*drive, context.target_drive))
      return refuse(std::move(*busy));
    if (auto overlap = CheckDriveRoot(fs, context, *drive, KitProbe::kToken)) {
      return refuse(std::move(*overlap));
    }
  }
  // Planning touches nothing on disk: it may come after the drive is taken.
  const BuildPlan plan = PlanBuild(guarded);
  // The drive is still there while its root path leads to the folder we opened: a stick that was
  // pulled, unmounted or swapped for another folder no longer does.
  auto still_there = [&, id = drive != nullptr ? drive->id() : platform::FileId{}] {
    platform::FileId now;
    return fs.Identify(context.target_drive, now).ok() && now == id;
  };

  result.steps_total = plan.size();
  if (drive == nullptr) {
    result.drive_unavailable = UnavailableLine(context.target_drive, root_failure);
    result.interruption = BuildInterruption::kDriveGone;
    result.steps_not_done = plan.size();
    return result;
  }
  if (observer != nullptr) {
    run.Observe(observer, BytesToMove(fs, context, plan), plan.size());
    observer->OnPhase(BuildPhase::kSteps);
  }
  bool gone = false;
  bool stopped = false;
  for (std::size_t index = 0; index < plan.size(); ++index) {
    const BuildStep& step = plan[index];
    if (!gone && !still_there()) gone = true;
    if (!gone && !stopped) stopped = StopAsked(context);
    // After a stop only the flush runs: what was written must still reach the stick.
    if (gone || (stopped && step.kind != StepKind::kFlush)) {
      ++result.steps_not_done;
      continue;
    }
    if (observer != nullptr) observer->OnStep(index, plan.size(), step);
    run.BeginStep(index, StageOf(step.kind), step.target);
    const std::size_t failures_before = run.log().failures().size();
    step.run(run);
    ++result.steps_run;
    if (DeviceGoneAmong(run.log().failures(), failures_before)) gone = true;
  }
  result.failures = run.log().TakeFailures();
  if (gone || stopped) {
    result.interruption = gone ? BuildInterruption::kDriveGone : BuildInterruption::kStopped;
    result.interruption_line = InterruptionLine(result.interruption, context.target_drive);
  }
  if (observer != nullptr) observer->OnPhase(BuildPhase::kMeasuring);
  run.BeginStep(plan.size(), BuildStage::kMeasuring,
                platform::JoinPayloadPath(context.target_drive, kPayloadFolder));
  if (!gone) {
    result.size_bytes = fsutil::SizeOfBelow(*drive, kPayloadFolder.substr(1), [observer] {
      if (observer != nullptr) observer->Yield();
    });
  }
  return result;
}

}  // namespace talvex::build
