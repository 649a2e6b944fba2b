// One build run from a window, independent of any toolkit: the session on a thread of its own,
// its latest progress kept in one slot, and the window told through two calls that each post to
// the window's own thread, which is all a window adds.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/session.h"

namespace talvex::ui {

class BuildRunner final : private build::BuildObserver {
 public:
  // How the runner reaches the window. Both are called on the build's thread; each posts a call
  // to the window's thread and returns at once.
  struct Posts {
    // New progress waits in TakeProgress(). At most one such post is waiting at a time, however
    // fast the build goes: the next is posted only once the window has taken the progress.
    std::function<void()> progressed;
    // The session has ended: Join() returns at once. Posted after every progress post.
    std::function<void()> ended;
  };

  // Starts the session at once. The request is the runner's own; it never reads the window's.
  BuildRunner(platform::FileSystem& fs, build::SessionRequest request, Posts posts);
  // Stops the session and waits for it: a build never outlives its window.
  ~BuildRunner() override;
  BuildRunner(const BuildRunner&) = delete;
  BuildRunner& operator=(const BuildRunner&) = delete;

  // Asks the session to stop; it ends within the second the engine allows, and before its short
  // commit the drive keeps what it had.
  void Stop() { stop_.store(true); }
  bool stopping() const { return stop_.load(); }

  // The progress told since the last call, if any; lets the next change be posted again.
  std::optional<build::BuildProgress> TakeProgress();

  // Waits for the session (which has ended once `ended` was posted) and hands its result over.
  build::SessionResult Join();

 private:
  void OnProgress(const build::BuildProgress& progress) override;

  build::SessionRequest request_;
  Posts posts_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::optional<build::BuildProgress> latest_;  // guarded by mutex_; set: a post is waiting
  build::SessionResult result_;
  std::thread thread_;
};

}  // namespace talvex::ui
