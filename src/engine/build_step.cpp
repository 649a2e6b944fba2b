#include "engine/build_step.h"

#include <array>

#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {

bool FailureLog::Check(const std::string& action, const platform::FsStatus& status,
                       const std::string& fallback_path) {
  if (status.ok()) return true;
  Record(StepFailure{action, status.path.empty() ? fallback_path : status.path, status.code,
                     status.message, platform::ReasonOf(status)});
  return false;
}

platform::Directory* BuildRun::Root(const std::string& root, platform::FsStatus& status) {
  auto found = roots_.find(root);
  if (found == roots_.end()) {
    OpenedRoot opened;
    opened.status = fs_.OpenDirectory(root, opened.directory);
    if (!opened.status) opened.directory.reset();
    found = roots_.emplace(root, std::move(opened)).first;
  }
  status = found->second.status;
  return found->second.directory.get();
}

platform::FsStatus BuildRun::Folder(const std::string& root, std::string_view relative,
                                    platform::Directory*& folder) {
  platform::FsStatus status;
  platform::Directory* top = Root(root, status);
  if (top == nullptr) return status;
  if (relative.empty()) {
    folder = top;
    return {};
  }
  std::string key = root;
  key += '\0';
  key += relative;
  auto found = folders_.find(key);
  if (found == folders_.end()) {
    std::unique_ptr<platform::Directory> opened;
    if (platform::FsStatus descended = fsutil::OpenBeneath(*top, relative, opened); !descended) {
      return descended;
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

platform::FsStatus BuildRun::ClaimDriveName(const std::string& drive, std::string_view relative) {
  const auto [claimed, fresh] =
      drive_names_.emplace(fsutil::FoldCase(relative), std::string(relative));
  if (fresh || claimed->second == relative) return {};
  return platform::RefusalStatus(
      "на флешке это тот же файл, что и \"" + platform::JoinPayloadPath(drive, claimed->second) +
          "\" (имена различаются только регистром букв); второй не записан",
      platform::JoinPayloadPath(drive, relative));
}

void BuildRun::Wrote(std::string relative, std::string kit_relative,
                     std::shared_ptr<const std::string> content) {
  written_.push_back(
      WrittenFile{step_, std::move(relative), std::move(kit_relative), std::move(content)});
}

void BuildRun::Observe(BuildObserver* observer, std::uint64_t bytes_total, std::size_t steps) {
  observer_ = observer;
  progress_.bytes_total = bytes_total;
  progress_.steps = steps;
}

void BuildRun::Tell(bool now) {
  if (observer_ == nullptr) return;
  // A window hears of a step at once, and of the bytes and files within it often enough for a
  // bar that moves smoothly, never so often that telling costs the build time.
  constexpr auto kInterval = std::chrono::milliseconds(40);
  const auto at = std::chrono::steady_clock::now();
  if (!now && at - told_ < kInterval) return;
  told_ = at;
  observer_->OnProgress(progress_);
}

void BuildRun::BeginStep(std::size_t index, BuildStage stage, std::string item) {
  step_ = index;
  log_.BeginStep(index);
  progress_.step = index + 1;
  progress_.stage = stage;
  progress_.item = std::move(item);
  Tell(true);
}

void BuildRun::Working(std::string item) {
  if (observer_ == nullptr) return;
  progress_.item = std::move(item);
  Tell(false);
}

void BuildRun::Moved(std::uint64_t bytes) {
  progress_.bytes_done += bytes;
  Tell(false);
}

platform::ByteProgress BuildRun::MovedHook() {
  if (observer_ == nullptr) return {};
  return [this](std::uint64_t bytes) { Moved(bytes); };
}

const char* StepKindName(StepKind kind) {
  // In the order of StepKind.
  static constexpr std::array<const char*, 7> kNames = {"remove",      "mkdir", "write", "copy",
                                                        "copy-folder", "flush", "verify"};
  const auto index = static_cast<std::size_t>(kind);
  return index < kNames.size() ? kNames[index] : "?";
}

}  // namespace talvex::build
