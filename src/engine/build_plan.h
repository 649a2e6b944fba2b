// A build is planned first, as an ordered list of steps, and then run step by step. Every step
// is attempted once; a failing step is recorded and skipped, and the next one runs.
#pragma once

#include <functional>
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
  // The kit folder and every folder that holds it, by identity: a removal never enters them,
  // whatever name leads there (filled in by RunBuild).
  std::vector<platform::FileId> protected_folders = {};
};

// One recorded failure: what the step did, on which path, and what the system said.
struct StepFailure {
  std::string action;  // in the report's language, e.g. "Копирование файла"
  std::string path;
  int code = 0;
  std::string message;
};

// Collects the failures of a run. The one place where the skip-and-continue policy is kept:
// steps report here and go on.
class FailureLog {
 public:
  // Records `status` if it is a failure; returns whether the step succeeded.
  bool Check(const std::string& action, const platform::FsStatus& status,
             const std::string& fallback_path = {});
  void Record(StepFailure failure) { failures_.push_back(std::move(failure)); }
  const std::vector<StepFailure>& failures() const { return failures_; }
  std::vector<StepFailure> TakeFailures() { return std::move(failures_); }

 private:
  std::vector<StepFailure> failures_;
};

enum class StepKind {
  kRemoveTree,      // DelTree
  kMakeDirectory,   // MakeDir
  kWriteGenerated,  // write a generated file into the kit, then place it on the drive
  kCopyFile,        // copy one file from the kit to the drive
  kCopyFolder,      // merge a kit folder into the drive's folder of the same name
};

struct BuildStep {
  StepKind kind;
  std::string source;  // empty where the step has no source
  std::string target;
  // Runs the step against `fs`, recording what fails in `log`. Never throws a failure out.
  std::function<void(platform::FileSystem& fs, FailureLog& log)> run;
};

using BuildPlan = std::vector<BuildStep>;

// A short English name of the kind, for the dry run's listing ("remove", "mkdir", ...).
const char* StepKindName(StepKind kind);

}  // namespace talvex::build
