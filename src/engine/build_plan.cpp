#include "engine/build_plan.h"

namespace talvex::build {

bool FailureLog::Check(const std::string& action, const platform::FsStatus& status,
                       const std::string& fallback_path) {
  if (status.ok()) return true;
  failures_.push_back(StepFailure{action, status.path.empty() ? fallback_path : status.path,
                                  status.code, status.message});
  return false;
}

const char* StepKindName(StepKind kind) {
  switch (kind) {
    case StepKind::kRemoveTree:
      return "remove";
    case StepKind::kMakeDirectory:
      return "mkdir";
    case StepKind::kWriteGenerated:
      return "write";
    case StepKind::kCopyFile:
      return "copy";
    case StepKind::kCopyFolder:
      return "copy-folder";
  }
  return "?";
}

}  // namespace talvex::build
