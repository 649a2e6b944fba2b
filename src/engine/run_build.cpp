#include "engine/run_build.h"

#include <algorithm>

#include "engine/app_folders.h"
#include "engine/stages.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

// `path` without its last level, or empty at the top. A drive's root keeps its separator ("e:\"),
// since "e:" alone means the drive's current folder to the system.
std::string ParentFolder(const std::string& path) {
  const std::size_t separator = path.find_last_of(platform::kPathSeparator);
  if (separator == std::string::npos || separator + 1 == path.size()) return {};
  std::string parent = path.substr(0, separator);
  if (parent.empty() || parent.back() == ':') parent += platform::kPathSeparator;
  return parent;
}

// How many files ahead of the one being compared are already on their way from the device. A
// device answers many requests at once faster than the same requests one after another; each
// file asked for keeps at most a read-ahead window of pages waiting.
constexpr std::size_t kFilesReadAhead = 16;

bool ReadAhead(BuildRun& run, const std::string& drive, const WrittenFile& file) {
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(file.relative, folder, name);
  platform::Directory* on_drive = nullptr;
  return run.Folder(drive, folder, on_drive).ok() && on_drive->ReadAhead(name);
}

// Compares the files in order while the next ones are read ahead. A file whose read-ahead did
// not happen drops its cached pages when it is opened instead.
void VerifyWrittenFiles(BuildRun& run, const std::string& kit, const std::string& drive,
                        const std::vector<const WrittenFile*>& files) {
  std::vector<bool> read_ahead(files.size(), false);
  std::size_t asked = 0;
  for (std::size_t index = 0; index < files.size(); ++index) {
    for (; asked < files.size() && asked <= index + kFilesReadAhead; ++asked) {
      read_ahead[asked] = ReadAhead(run, drive, *files[asked]);
    }
    VerifyWrittenFile(run, kit, drive, *files[index], read_ahead[index]);
  }
}

bool Contains(const std::vector<platform::FileId>& ids, const platform::FileId& id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// `path` resolved, with ASCII letters folded to lower case; empty when it cannot be resolved.
std::string FoldedResolved(platform::FileSystem& fs, const std::string& path) {
  std::string resolved;
  if (!fs.ResolvePath(path, resolved)) return {};
  for (char& c : resolved) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return resolved;
}

// Whether the path text `inner` is `outer` or lies below it.
bool IsSameOrInside(const std::string& inner, const std::string& outer) {
  if (inner.empty() || outer.empty()) return false;
  if (inner == outer) return true;
  if (inner.size() <= outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return outer.back() == platform::kPathSeparator ||
         inner[outer.size()] == platform::kPathSeparator;
}

std::string OverlapMessage(const std::string& path) {
  return "Папка \"" + path + "\" на диске совпадает с комплектом или пересекается с ним: " +
         "сборка удалила бы комплект, из которого она копирует.";
}

}  // namespace

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

void VerifyWrittenFile(BuildRun& run, const std::string& kit, const std::string& drive,
                       const WrittenFile& file, bool read_ahead) {
  std::string_view folder;
  std::string_view name;
  fsutil::SplitRelative(file.relative, folder, name);
  platform::Directory* on_drive = nullptr;
  run.Working(platform::JoinPayloadPath(drive, file.relative));
  platform::FsStatus status = run.Folder(drive, folder, on_drive);
  if (status && file.content) {
    // A few bytes composed by the build: not part of what the bar measures (the kit's files).
    status = platform::CompareWithBytes(*on_drive, name, *file.content, !read_ahead);
  } else if (status) {
    std::string_view kit_folder;
    std::string_view kit_name;
    fsutil::SplitRelative(file.kit_relative, kit_folder, kit_name);
    platform::Directory* in_kit = nullptr;
    status = run.Folder(kit, kit_folder, in_kit);
    if (status) {
      status = platform::CompareWithFile(*on_drive, name, *in_kit, kit_name, !read_ahead,
                                         run.MovedHook());
    }
  }
  run.log().Check(std::string(action::kVerifyFile), status,
                  platform::JoinPayloadPath(drive, file.relative));
}

std::vector<platform::FileId> FolderAndAncestors(platform::FileSystem& fs,
                                                 const std::string& path) {
  std::vector<platform::FileId> chain;
  std::string folder;
  if (!fs.ResolvePath(path, folder)) return chain;
  for (; !folder.empty(); folder = ParentFolder(folder)) {
    platform::FileId id;
    if (fs.Identify(folder, id)) chain.push_back(id);
  }
  return chain;
}

std::optional<std::string> CheckTargetOverlap(platform::FileSystem& fs,
                                              const BuildContext& context) {
  // Folders are compared by what they are, not by how they are spelled: on a case-insensitive
  // volume, through a link or through a bind mount one folder has many names. A kit or drive
  // that cannot be reached cannot overlap anything; the build's own steps then fail and are
  // reported one by one.
  // A kit folder that does not exist yet is represented by the folders above it that do.
  const std::vector<platform::FileId> kit_chain = FolderAndAncestors(fs, context.source_root);
  platform::FileId kit;
  const bool kit_exists = fs.Identify(context.source_root, kit).ok();
  const std::vector<platform::FileId> drive_chain = FolderAndAncestors(fs, context.target_drive);
  if (kit_exists && !drive_chain.empty() && drive_chain.front() == kit) {
    return "Программа запущена из корня диска \"" + context.target_drive +
           "\": сборка удалила бы комплект, из которого она копирует.";
  }
  const std::string payload = platform::JoinPayloadPath(context.target_drive, kPayloadFolder);
  // A drive inside the kit would have the build write into the master copy.
  if (kit_exists && Contains(drive_chain, kit)) return OverlapMessage(payload);
  // Everything the build removes: the payload folder and the folder of every ticked application.
  std::vector<std::string> removed{payload};
  for (const AppFolderEntry& entry : AppFolders) {
    if (options::IsTicked(context.options.*entry.Condition)) {
      removed.push_back(
          platform::JoinPayloadPath(context.target_drive, "\\" + std::string(entry.FolderName)));
    }
  }
  for (const std::string& path : removed) {
    platform::FileId id;
    if (!fs.Identify(path, id)) continue;  // nothing there to remove
    if (Contains(kit_chain, id) || (kit_exists && Contains(FolderAndAncestors(fs, path), kit))) {
      return OverlapMessage(path);
    }
  }
  return CheckSpellingOverlap(fs, context, kit_exists ? &kit : nullptr, removed);
}

// Some file systems give one folder a new inode number for every spelling of its name (FAT32
// through FUSE does), so identities alone miss a target typed in other letters than the kit.
// On the kit's own volume, names that differ only in ASCII letter case are therefore taken for
// the same folder too. On a case-sensitive volume that may refuse a build that would have been
// safe, never the reverse.
std::optional<std::string> CheckSpellingOverlap(platform::FileSystem& fs,
                                                const BuildContext& context,
                                                const platform::FileId* kit,
                                                const std::vector<std::string>& removed) {
  platform::FileId drive;
  if (kit == nullptr || !fs.Identify(context.target_drive, drive) || drive.volume != kit->volume) {
    return std::nullopt;
  }
  const std::string kit_text = FoldedResolved(fs, context.source_root);
  const std::string drive_text = FoldedResolved(fs, context.target_drive);
  if (!kit_text.empty() && kit_text == drive_text) {
    return "Программа запущена из корня диска \"" + context.target_drive +
           "\": сборка удалила бы комплект, из которого она копирует.";
  }
  if (IsSameOrInside(drive_text, kit_text)) return OverlapMessage(removed.front());
  for (const std::string& path : removed) {
    const std::string text = FoldedResolved(fs, path);
    if (IsSameOrInside(kit_text, text) || IsSameOrInside(text, kit_text)) {
      return OverlapMessage(path);
    }
  }
  return std::nullopt;
}

std::optional<std::string> CheckBuildMayStart(platform::FileSystem& fs,
                                              const BuildContext& context) {
  // Without a master tree the build would wipe the stick's payload and copy nothing back.
  if (!fsutil::HoldsKit(fs, context.source_root)) return fsutil::NoKitMessage(context.source_root);
  return CheckTargetOverlap(fs, context);
}

namespace {

std::string BusyMessage(const std::string& drive) {
  return "На диск \"" + drive +
         "\" уже идёт другая сборка (в другом окне программы или в talvex-build). Дождитесь её "
         "конца и начните сборку ещё раз; флешка не тронута.";
}

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

std::string InterruptionLine(BuildInterruption interruption, const std::string& drive,
                             std::size_t not_done, const platform::FsStatus& root_failure) {
  const std::string count = "не выполнено шагов: " + std::to_string(not_done);
  if (interruption == BuildInterruption::kStopped) {
    return "Сборка остановлена по вашей просьбе; записанное сброшено на диск, " + count;
  }
  if (!root_failure.ok()) {
    return "Диск \"" + drive + "\" недоступен (" + root_failure.message + "); " + count;
  }
  return "Диск \"" + drive + "\" отключён во время сборки; " + count;
}

}  // namespace

BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer) {
  BuildResult result;
  if (std::optional<std::string> refusal = CheckBuildMayStart(fs, context)) {
    result.refused = true;
    result.refusal = std::move(*refusal);
    return result;
  }
  BuildContext guarded = context;
  guarded.protected_folders = FolderAndAncestors(fs, context.source_root);
  const BuildPlan plan = PlanBuild(guarded);

  // The drive is opened once, here; every step works below this handle.
  BuildRun run(fs);
  platform::FsStatus root_failure;
  platform::Directory* drive = run.Root(context.target_drive, root_failure);
  if (drive != nullptr) {
    // One build per drive: a second one would interleave its removals and copies with ours.
    bool busy = false;
    if (!drive->LockForBuild(busy) && busy) {
      result.refused = true;
      result.refusal = BusyMessage(context.target_drive);
      return result;
    }
  }
  // The drive is still there while its root path leads to the folder we opened: a stick that was
  // pulled, unmounted or swapped for another folder no longer does.
  auto still_there = [&, id = drive != nullptr ? drive->id() : platform::FileId{}] {
    platform::FileId now;
    return fs.Identify(context.target_drive, now).ok() && now == id;
  };

  if (observer != nullptr) {
    run.Observe(observer, BytesToMove(fs, context, plan), plan.size());
    observer->OnPhase(BuildPhase::kSteps);
  }
  bool gone = drive == nullptr;
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
    result.interruption_line = InterruptionLine(result.interruption, context.target_drive,
                                                result.steps_not_done, root_failure);
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
