#include "ui/build_runner.h"

#include <utility>

namespace talvex::ui {

BuildRunner::BuildRunner(platform::FileSystem& fs, build::SessionRequest request, Posts posts)
    : request_(std::move(request)), posts_(std::move(posts)) {
  request_.stop = &stop_;
  thread_ = std::thread([this, &fs] {
    result_ = build::RunSession(fs, request_, this);
    posts_.ended();
  });
}

BuildRunner::~BuildRunner() {
  if (thread_.joinable()) {
    Stop();
    thread_.join();
  }
}

void BuildRunner::OnProgress(const build::BuildProgress& progress) {
  const std::lock_guard lock(mutex_);
  const bool posted = latest_.has_value();
  latest_ = progress;
  // The window reads the latest state when it gets to it; a second post would only repeat it.
  if (!posted) posts_.progressed();
}

std::optional<build::BuildProgress> BuildRunner::TakeProgress() {
  const std::lock_guard lock(mutex_);
  return std::exchange(latest_, std::nullopt);
}

build::SessionResult BuildRunner::Join() {
  if (thread_.joinable()) thread_.join();
  return std::move(result_);
}

}  // namespace talvex::ui
