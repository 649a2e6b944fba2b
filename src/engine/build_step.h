// What a build's steps are made of and run against. A build is planned first, as an ordered list
// of steps, and then run step by step. Every step is attempted once; a failing step is recorded
// and skipped, and the next one runs. Each step works through a BuildRun, which holds what the
// steps of one run share, and tells a BuildObserver how far the build has come.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "options/build_options.h"
#include "platform/file_system.h"

namespace talvex::build {

// What every stage is given: the kit folder (the master tree beside the program), the folder
// that stands for the target drive's root ("e:" on Windows) and the record of choices.
struct BuildContext {
  std::string source_root;
  std::string target_drive;
  const options::BuildOptions& options;
  // Whether every file put on the drive is read back and compared once everything is flushed.
  bool verify = true;
  // Set (from any thread) to stop the build: the step in hand finishes, the remaining writing
  // steps are skipped, and what was written is still flushed. May be null.
  const std::atomic<bool>* stop = nullptr;
  // The kit folder and every folder that holds it, by identity: a removal never enters them,
  // whatever name leads there (filled in by RunBuild).
  std::vector<platform::FileId> protected_folders = {};
};

// One recorded failure: what the step did, on which path, and what the system said.
struct StepFailure {
  std::string action;  // in the report's language, e.g. "Копирование файла"
  std::string path;
  int code = 0;
  std::string message;  // the system's text, or the refusal's own words
  platform::FsReason reason = platform::FsReason::kSystem;  // what the report words itself
  std::size_t step = 0;                                     // the index of the step that met it
};

// Collects the failures of a run. The one place where the skip-and-continue policy is kept:
// steps report here and go on.
class FailureLog {
 public:
  // The step whose failures are recorded from now on.
  void BeginStep(std::size_t step) { step_ = step; }
  // Records `status` if it is a failure; returns whether the step succeeded.
  bool Check(const std::string& action, const platform::FsStatus& status,
             const std::string& fallback_path = {});
  void Record(StepFailure failure) {
    failure.step = step_;
    failures_.push_back(std::move(failure));
  }
  const std::vector<StepFailure>& failures() const { return failures_; }
  std::vector<StepFailure> TakeFailures() { return std::move(failures_); }

 private:
  std::vector<StepFailure> failures_;
  std::size_t step_ = 0;
};

// What a build is doing, as a front end shows it.
enum class BuildStage {
  kRemoving,   // the old payload and application folders go
  kCopying,    // folders made, files written and copied
  kFlushing,   // everything written, out of the system's cache onto the device
  kVerifying,  // every file read back and compared
  kMeasuring,  // the payload tree measured for the report
};

struct BuildProgress {
  BuildStage stage = BuildStage::kRemoving;
  std::string item;              // the file or folder in hand (its path on the drive)
  std::uint64_t bytes_done = 0;  // copied and read back so far
  // What the plan copies and reads back, as far as the kit tells it before the build; the done
  // bytes may pass it when the kit grows meanwhile.
  std::uint64_t bytes_total = 0;
  std::size_t step = 0;   // the step in hand, from 1...
  std::size_t steps = 0;  // ...of these
};

class BuildObserver;

// A file the build put on the drive, and what it must hold: a kit file's bytes, or the content
// the build composed. The flush and the read-back go through these.
struct WrittenFile {
  std::size_t step = 0;      // the index of the step that wrote it
  std::string relative;      // below the drive's root, backslash form ("\Talvex\rcTVX")
  std::string kit_relative;  // the kit file it copies, in the kit's spelling; empty for...
  std::shared_ptr<const std::string> content;  // ...a generated file's content
};

// What the steps of one run share: the file system, the failures, the files written to the
// drive, and the folders opened so far. Folders are kept open while the run goes on, so files
// of one folder are reached through one handle instead of opening every level again.
class BuildRun {
 public:
  explicit BuildRun(platform::FileSystem& fs) : fs_(fs) {}
  BuildRun(const BuildRun&) = delete;
  BuildRun& operator=(const BuildRun&) = delete;

  platform::FileSystem& fs() { return fs_; }
  FailureLog& log() { return log_; }

  // The folder `relative` ("\Talvex\etc", or empty for the root) below `root`, opened level by
  // level without following any link below `root`, or reused from an earlier step. `root` itself
  // is opened once, at its first use, and kept for the whole run: its path is never looked up
  // again, so a drive unmounted or a folder swapped under that path meanwhile cannot send a
  // step anywhere else.
  platform::FsStatus Folder(const std::string& root, std::string_view relative,
                            platform::Directory*& folder);
  // The root's handle, opened now if it was not yet (null when it cannot be opened; `status`
  // says why).
  platform::Directory* Root(const std::string& root, platform::FsStatus& status);
  // Forgets the folders opened so far below the roots; a step that removes folders calls it
  // first, since a kept handle would go on naming a folder that is gone.
  void ForgetFolders() { folders_.clear(); }

  // Claims the drive file `relative` for this build. Two names that differ only in letter case
  // are one file on the television's stick: the second would silently replace the first, so it
  // is refused, naming both.
  platform::FsStatus ClaimDriveName(const std::string& drive, std::string_view relative);

  // Progress for `observer` (may be null): the totals, then each step's start, the item in
  // hand and the bytes moved, told at most every few dozen milliseconds between step starts.
  void Observe(BuildObserver* observer, std::uint64_t bytes_total, std::size_t steps);
  void BeginStep(std::size_t index, BuildStage stage, std::string item);
  void Working(std::string item);
  void Moved(std::uint64_t bytes);
  // Moved() as a callback for the platform's copies and comparisons; empty when nobody listens.
  platform::ByteProgress MovedHook();
  const BuildProgress& progress() const { return progress_; }

  std::size_t step() const { return step_; }
  void Wrote(std::string relative, std::string kit_relative,
             std::shared_ptr<const std::string> content = nullptr);
  const std::vector<WrittenFile>& written() const { return written_; }

 private:
  struct OpenedRoot {
    std::unique_ptr<platform::Directory> directory;
    platform::FsStatus status;  // why it could not be opened
  };

  platform::FileSystem& fs_;
  FailureLog log_;
  std::map<std::string, OpenedRoot> roots_;
  std::map<std::string, std::string> drive_names_;  // case-folded -> as written
  std::map<std::string, std::unique_ptr<platform::Directory>> folders_;
  std::string last_;  // the key of the folder handed out last
  std::vector<WrittenFile> written_;
  std::size_t step_ = 0;
  BuildObserver* observer_ = nullptr;
  BuildProgress progress_;
  std::chrono::steady_clock::time_point told_{};

  void Tell(bool now);
};

enum class StepKind {
  kRemoveTree,      // DelTree
  kMakeDirectory,   // MakeDir
  kWriteGenerated,  // write a generated file into the kit, then place it on the drive
  kCopyFile,        // copy one file from the kit to the drive
  kCopyFolder,      // merge a kit folder into the drive's folder of the same name
  kFlush,           // everything written to the drive, out of the system's cache onto the device
  kVerify,          // read back what one step wrote and compare it with what it should hold
};

struct BuildStep {
  StepKind kind;
  std::string source;  // empty where the step has no source
  std::string target;
  // Runs the step, recording what fails in the run's log. Never throws a failure out.
  std::function<void(BuildRun& run)> run;
};

using BuildPlan = std::vector<BuildStep>;

// A short English name of the kind, for the dry run's listing ("remove", "mkdir", ...).
const char* StepKindName(StepKind kind);

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

}  // namespace talvex::build
