#include "engine/build_plan.h"

#include <array>

#include "fsutil/beneath.h"

namespace talvex::build {

bool FailureLog::Check(const std::string& action, const platform::FsStatus& status,
                       const std::string& fallback_path) {
  if (status.ok()) return true;
  failures_.push_back(StepFailure{action, status.path.empty() ? fallback_path : status.path,
                                  status.code, status.message});
  return false;
}

platform::FsStatus BuildRun::Folder(const std::string& root, std::string_view relative,
                                    platform::Directory*& folder) {
  std::string key = root;
  key += '\0';
  key += relative;
  auto found = folders_.find(key);
  if (found == folders_.end()) {
    std::unique_ptr<platform::Directory> opened;
    if (platform::FsStatus status = fsutil::OpenBeneath(fs_, root, relative, opened); !status) {
      return status;
    }
    // A handful of folders are in use at a time; a long run never piles up handles. The folder
    // handed out last stays: its caller may hold it while it asks for this one (a copy holds its
    // source folder while it asks for the target's).
    if (folders_.size() >= 64) {
      auto last = folders_.extract(last_);
      folders_.clear();
      if (last) folders_.insert(std::move(last));
    }
    found = folders_.emplace(key, std::move(opened)).first;
  }
  last_ = std::move(key);
  folder = found->second.get();
  return {};
}

void BuildRun::Wrote(std::string relative, std::string kit_relative,
                     std::shared_ptr<const std::string> content) {
  written_.push_back(
      WrittenFile{step_, std::move(relative), std::move(kit_relative), std::move(content)});
}

const char* StepKindName(StepKind kind) {
  // In the order of StepKind.
  static constexpr std::array<const char*, 7> kNames = {"remove",      "mkdir", "write", "copy",
                                                        "copy-folder", "flush", "verify"};
  const auto index = static_cast<std::size_t>(kind);
  return index < kNames.size() ? kNames[index] : "?";
}

}  // namespace talvex::build
