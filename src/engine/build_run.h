// What every stage of a build is given and shares: the build's context (kit, drive, choices),
// the failures met so far, the folders opened so far below the kit's and the drive's roots, the
// stop request, and the progress told to the front end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options/build_options.h"
#include "platform/file_system.h"

namespace talvex::build {

// What a build is given: the kit folder (the master tree beside the program), the folder that
// stands for the target drive's root ("e:" on Windows) and the record of choices.
struct BuildContext {
  std::string source_root;
  std::string target_drive;
  const options::BuildOptions& options;
  // Whether every file written is read back from the device before it takes its place, and
  // every file kept is compared byte for byte; without, a kept file is judged by its size and
  // modification time.
  bool verify = true;
  // Set (from any thread) to stop the build. Before the new files take their places the drive
  // is left with what it held; after, the build ends that short pass first. May be null.
  const std::atomic<bool>* stop = nullptr;
  // Remove the old payload and the ticked applications' folders first and write everything
  // anew, in the order the build has always taken; the end is the same.
  bool fresh = false;
  // The drive's root as the front end checked it (the drive the user picked): a root opened as
  // anything else is refused. Nothing: not checked.
  std::optional<platform::FileId> expected_root = std::nullopt;
  // The kit folder and every folder that holds it, by identity: a removal never enters them,
  // whatever name leads there (filled in by RunBuild).
  std::vector<platform::FileId> protected_folders = {};
};

// One recorded failure: what the build did, on which path, and why.
struct StepFailure {
  std::string action;  // in the report's language, e.g. "Копирование файла"
  std::string path;
  int code = 0;
  std::string message;  // the system's text, or the refusal's own words
  platform::FsReason reason = platform::FsReason::kSystem;  // what the report words itself
  std::size_t step = 0;                                     // the plan's item it concerns
};

// Collects the failures of a run. The one place where the skip-and-continue policy is kept:
// stages report here and go on.
class FailureLog {
 public:
  // The plan's item whose failures are recorded from now on.
  void BeginStep(std::size_t step) { step_ = step; }
  // Records `status` if it is a failure; returns whether the work succeeded.
  bool Check(std::string_view action, const platform::FsStatus& status,
             const std::string& fallback_path = {});
  void Record(StepFailure failure) {
    failure.step = step_;
    failures_.push_back(std::move(failure));
  }
  const std::vector<StepFailure>& failures() const { return failures_; }
  std::vector<StepFailure> TakeFailures() { return std::move(failures_); }
  // Forgets the failures recorded after the first `count`.
  void KeepFirst(std::size_t count) {
    if (count < failures_.size()) failures_.erase(failures_.begin() + count, failures_.end());
  }

 private:
  std::vector<StepFailure> failures_;
  std::size_t step_ = 0;
};

// The stages of a build, in the order one build passes them.
enum class BuildStage {
  kRemoving,    // with `fresh`: the old payload and application folders go first
  kComparing,   // the plan's payload compared with what the drive holds
  kWriting,     // new and changed files written beside their places, new folders made
  kFlushing,    // what was written, out of the system's cache onto the device
  kVerifying,   // everything written read back and compared
  kCommitting,  // the new files take their places; what the payload no longer holds goes
  kMeasuring,   // the payload tree measured for the report
};

struct BuildProgress {
  BuildStage stage = BuildStage::kComparing;
  std::string item;              // the file or folder in hand (its path on the drive)
  std::uint64_t bytes_done = 0;  // compared, written and read back so far
  // What the stages compare, write and read back, as far as known: the comparison's bytes at
  // first, everything once the comparison has told what is to be written.
  std::uint64_t bytes_total = 0;
  std::size_t step = 0;   // the plan's item in hand, from 1...
  std::size_t steps = 0;  // ...of these
};

// Hears about a running build.
class BuildObserver {
 public:
  virtual ~BuildObserver() = default;
  // How far the build has come: at each stage's start and item, and every few dozen
  // milliseconds while a file is copied or compared. Called on the build's own thread.
  virtual void OnProgress(const BuildProgress& progress) = 0;
};

// What the stages of one run share. Folders are kept open while the run goes on, so files of one
// folder are reached through one handle instead of opening every level again.
class BuildRun {
 public:
  BuildRun(platform::FileSystem& fs, const BuildContext& context) : fs_(fs), context_(context) {}
  BuildRun(const BuildRun&) = delete;
  BuildRun& operator=(const BuildRun&) = delete;

  platform::FileSystem& fs() { return fs_; }
  const BuildContext& context() const { return context_; }
  FailureLog& log() { return log_; }
  const FailureLog& log() const { return log_; }

  // The roots, each opened once, at its first use, and kept for the whole run: their paths are
  // never looked up again, so a drive unmounted or a folder swapped under a path meanwhile
  // cannot send the build anywhere else. Null when it cannot be opened (`status` says why).
  platform::Directory* Drive(platform::FsStatus& status) {
    return Root(context_.target_drive, status);
  }
  platform::Directory* Kit(platform::FsStatus& status) {
    return Root(context_.source_root, status);
  }

  // The folder `relative` ("\Talvex\etc", or empty for the root) below the drive's or the kit's
  // root, opened level by level without following any link, or reused.
  platform::FsStatus DriveFolder(std::string_view relative, platform::Directory*& folder) {
    return Folder(context_.target_drive, relative, folder);
  }
  platform::FsStatus KitFolder(std::string_view relative, platform::Directory*& folder) {
    return Folder(context_.source_root, relative, folder);
  }
  // Forgets the folders opened so far below the roots; work that removes or renames folders
  // calls it first, since a kept handle would go on naming a folder that is gone or moved.
  void ForgetFolders() { folders_.clear(); }

  // Whether the drive's path still leads to the root this run opened: a stick that was pulled,
  // unmounted or swapped for another folder no longer does.
  bool DriveStillThere();

  // Whether the caller asked the build to stop.
  bool StopAsked() const {
    return context_.stop != nullptr && context_.stop->load(std::memory_order_relaxed);
  }

  // Progress for `observer` (may be null): each stage and each item at once, the bytes within
  // an item every few dozen milliseconds.
  void Observe(BuildObserver* observer, std::size_t steps);
  void BeginStage(BuildStage stage, std::uint64_t bytes_total);
  void BeginStep(std::size_t index, std::string item);
  void Working(std::string item);
  // More bytes moved; false when a stop was asked, so a long copy ends there.
  bool Moved(std::uint64_t bytes);
  // Moved() as a callback for the platform's copies and comparisons.
  platform::ByteProgress MovedHook() {
    return [this](std::uint64_t bytes) { return Moved(bytes); };
  }
  const BuildProgress& progress() const { return progress_; }

 private:
  struct OpenedRoot {
    std::unique_ptr<platform::Directory> directory;
    platform::FsStatus status;  // why it could not be opened
  };

  platform::Directory* Root(const std::string& root, platform::FsStatus& status);
  platform::FsStatus Folder(const std::string& root, std::string_view relative,
                            platform::Directory*& folder);
  void Tell(bool now);

  platform::FileSystem& fs_;
  const BuildContext& context_;
  FailureLog log_;
  std::map<std::string, OpenedRoot> roots_;
  std::map<std::string, std::unique_ptr<platform::Directory>> folders_;
  std::string last_;  // the key of the folder handed out last
  BuildObserver* observer_ = nullptr;
  BuildProgress progress_;
  std::chrono::steady_clock::time_point told_{};
};

}  // namespace talvex::build
