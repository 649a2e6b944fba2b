// The build procedure: remove the old payload, create the skeleton, run the stages, measure.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_plan.h"
#include "platform/file_system.h"

namespace talvex::build {

// The payload folder on the drive, relative to its root.
inline constexpr std::string_view kPayloadFolder = "\\Talvex";

// Removed with everything under it at the start of every build (note the trailing backslash).
inline constexpr std::string_view kPayloadRemoval = "\\Talvex\\";

// The skeleton, created in this order, each with all its parent levels.
inline constexpr std::array<std::string_view, 7> kSkeletonDirectories = {
    "\\Talvex\\etc\\init.d",
    "\\Talvex\\lib\\modules\\mak",
    "\\Talvex\\lib\\modules\\treasure",
    "\\Talvex\\opt\\brandeval\\bin",
    "\\Talvex\\opt\\brandeval\\lib",
    "\\Talvex\\opt\\brandeval\\usr\\bin",
    "\\Talvex\\opt\\brandeval\\usr\\sbin",
};

// The phases of a build after the overlap check, in order. A phase added to the build gets its
// value here, so that a front end can show it.
enum class BuildPhase {
  kSteps,      // the plan's steps run one by one
  kMeasuring,  // the finished payload tree is measured
};

// Hears about a running build; every member is optional.
class BuildObserver {
 public:
  virtual ~BuildObserver() = default;
  // When `phase` begins.
  virtual void OnPhase(BuildPhase phase) { (void)phase; }
  // Before step `index` (from 0) of `total` runs.
  virtual void OnStep(std::size_t index, std::size_t total, const BuildStep& step) {
    (void)index;
    (void)total;
    (void)step;
  }
  // Once per directory entry while the finished tree is measured.
  virtual void Yield() {}
  // How far the build has come: at each step's start, and every few dozen milliseconds while a
  // step copies or reads back. Called on the build's own thread.
  virtual void OnProgress(const BuildProgress& progress) { (void)progress; }
};

// Why a build ended before its last step.
enum class BuildInterruption {
  kNone,
  kDriveGone,  // the drive went away (or could not be opened at all)
  kStopped,    // the user asked it to stop
};

struct BuildResult {
  bool refused = false;  // nothing was done; `refusal` says why
  std::string refusal;
  std::vector<StepFailure> failures;
  std::size_t steps_run = 0;
  std::size_t steps_not_done = 0;  // skipped because the build was interrupted
  BuildInterruption interruption = BuildInterruption::kNone;
  std::string interruption_line;  // the report's line that says so, empty when not interrupted
  double size_bytes = 0;          // of the payload tree, measured at the end

  // Every step ran and none failed.
  bool Complete() const { return failures.empty() && steps_not_done == 0; }
};

// The ordered steps a build of `context` takes: the removal, the skeleton, the stages, then the
// flush and (when `context.verify`) the read-back of everything written to the drive.
BuildPlan PlanBuild(const BuildContext& context);

// The flush and read-back steps, appended after the steps that write.
void AppendFinishing(const BuildContext& context, BuildPlan& plan);

// Reads back one file the run wrote and records a failure if it is not what it should be.
// `read_ahead`: the file's cached pages were dropped by a read-ahead after the flush.
void VerifyWrittenFile(BuildRun& run, const std::string& kit, const std::string& drive,
                       const WrittenFile& file, bool read_ahead = false);

// The identities of the folder `path` reaches and of every folder above it, nearest first.
std::vector<platform::FileId> FolderAndAncestors(platform::FileSystem& fs, const std::string& path);

// Why a build of `context` must not start, if it must not: the target overlaps the kit, so the
// removal at the start of the build would delete the master copy it is about to copy from.
// Folders are compared by identity, so no spelling, link or bind mount hides an overlap.
std::optional<std::string> CheckTargetOverlap(platform::FileSystem& fs,
                                              const BuildContext& context);

// The part of that check that compares names: on the kit's volume, paths that differ only in
// ASCII letter case count as one (for file systems whose inode numbers follow the spelling).
// `kit` is the kit's identity (null when it does not exist), `removed` what the build removes.
std::optional<std::string> CheckSpellingOverlap(platform::FileSystem& fs,
                                                const BuildContext& context,
                                                const platform::FileId* kit,
                                                const std::vector<std::string>& removed);

// Why a build of `context` must not start at all, before anything is opened: the kit folder
// holds no kit, or the target overlaps it.
std::optional<std::string> CheckBuildMayStart(platform::FileSystem& fs,
                                              const BuildContext& context);

// Runs the whole build and measures the payload tree. Refuses (touching nothing) when the kit
// folder holds no kit, when the target overlaps the kit, or when another build holds the drive.
// The drive's root is opened once, before the first step, and every step works below that
// handle. When the drive goes away, or the caller asks the build to stop, the remaining steps
// are skipped (after a stop, what was written is still flushed) and the result says so. Every
// other failure is recorded and the build goes on.
BuildResult RunBuild(platform::FileSystem& fs, const BuildContext& context,
                     BuildObserver* observer = nullptr);

// The report's name of what a failed step was doing.
namespace action {
inline constexpr std::string_view kRemoveFolder = "Удаление папки";
inline constexpr std::string_view kCreateFolder = "Создание папки";
inline constexpr std::string_view kWriteFile = "Запись файла";
inline constexpr std::string_view kCopyFile = "Копирование файла";
inline constexpr std::string_view kCopyFolder = "Копирование папки";
inline constexpr std::string_view kFlush = "Сброс на диск";
inline constexpr std::string_view kVerifyFile = "Проверка файла";
inline constexpr std::string_view kDriveGone = "Диск отключён";
}  // namespace action

}  // namespace talvex::build
