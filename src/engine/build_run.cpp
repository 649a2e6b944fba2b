#include "engine/build_run.h"

#include "fsutil/beneath.h"

namespace talvex::build {

bool FailureLog::Check(std::string_view action, const platform::FsStatus& status,
                       const std::string& fallback_path) {
  if (status.ok()) return true;
  Record(StepFailure{std::string(action), status.path.empty() ? fallback_path : status.path,
                     status.code, status.message, platform::ReasonOf(status)});
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
    // From the nearest folder above it that is open already (its parent, mostly: the plan goes
    // depth first), so that one level is opened instead of every level from the root.
    platform::Directory* from = top;
    std::string_view below = relative;
    for (std::size_t cut = relative.rfind('\\'); cut != 0 && cut != std::string_view::npos;
         cut = relative.rfind('\\', cut - 1)) {
      const auto above = folders_.find(key.substr(0, root.size() + 1 + cut));
      if (above != folders_.end()) {
        from = above->second.get();
        below = relative.substr(cut);
        break;
      }
    }
    std::unique_ptr<platform::Directory> opened;
    if (platform::FsStatus descended = fsutil::OpenBeneath(*from, below, opened); !descended) {
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

void BuildRun::Observe(BuildObserver* observer, std::size_t steps) {
  observer_ = observer;
  progress_.steps = steps;
}

void BuildRun::BeginStage(BuildStage stage, std::uint64_t bytes_total) {
  progress_.stage = stage;
  progress_.bytes_total = bytes_total;
  progress_.item.clear();
  Tell(true);
}

void BuildRun::BeginStep(std::size_t index, std::string item) {
  log_.BeginStep(index);
  if (observer_ == nullptr) return;
  progress_.step = index + 1;
  progress_.item = std::move(item);
  Tell(true);
}

bool BuildRun::DriveStillThere() {
  platform::FsStatus status;
  platform::Directory* drive = Drive(status);
  platform::FileId now;
  return drive != nullptr && fs_.Identify(context_.target_drive, now).ok() && now == drive->id();
}

void BuildRun::Working(std::string item) {
  if (observer_ == nullptr) return;
  progress_.item = std::move(item);
  Tell(false);
}

bool BuildRun::Moved(std::uint64_t bytes) {
  progress_.bytes_done += bytes;
  Tell(false);
  return !StopAsked();
}

void BuildRun::Tell(bool now) {
  if (observer_ == nullptr) return;
  // A window hears of a stage at once, and of the bytes and files within it often enough for a
  // bar that moves smoothly, never so often that telling costs the build time.
  constexpr auto kInterval = std::chrono::milliseconds(40);
  const auto at = std::chrono::steady_clock::now();
  if (!now && at - told_ < kInterval) return;
  told_ = at;
  observer_->OnProgress(progress_);
}

}  // namespace talvex::build
