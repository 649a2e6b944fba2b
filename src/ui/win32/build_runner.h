// A build session run from a window: the session on a worker thread of its own, its progress
// handed to the window as posted messages, the taskbar button's progress, and the report in a
// message box at the end.
#pragma once

#include "platform/win32/windows_api.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/session.h"
#include "ui/win32/ui_services.h"

struct ITaskbarList3;

namespace talvex::ui::win32 {

// The progress bar of a window's taskbar button, through the shell's COM object; it does nothing
// where the shell offers none.
class TaskbarProgress {
 public:
  explicit TaskbarProgress(HWND window) : window_(window) {}
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // Reaches the shell's object, if it is not reached yet; called before each build.
  void Connect();
  // `done` of `total`; a total of 0 takes the bar away.
  void Show(std::uint64_t done, std::uint64_t total);

 private:
  HWND window_;
  ITaskbarList3* taskbar_ = nullptr;
};

// Posted by a BuildWorker to its window: new progress waits in TakeProgress() (at most one such
// message is in the queue at a time, however fast the build goes), and the build has ended.
inline constexpr UINT kBuildProgressChanged = WM_APP + 20;
inline constexpr UINT kBuildEnded = WM_APP + 21;

// One build session on a thread of its own. The window's thread keeps painting and taking input
// while the session copies; what the session tells its observer reaches the window as the
// latest progress, and its end as kBuildEnded.
class BuildWorker final : private build::BuildObserver {
 public:
  // Starts the session at once. The request is the worker's own: it never reads the window's.
  BuildWorker(HWND window, platform::FileSystem& fs, build::SessionRequest request);
  // Stops the session and waits for it, when it has not been joined.
  ~BuildWorker() override;
  BuildWorker(const BuildWorker&) = delete;
  BuildWorker& operator=(const BuildWorker&) = delete;

  // Asks the session to stop after the file in hand; what was written is still flushed.
  void Stop() { stop_.store(true); }
  bool stopping() const { return stop_.load(); }

  // The progress told since the last call, if any; lets the next change be posted again.
  std::optional<build::BuildProgress> TakeProgress();

  // Waits for the session, which has ended once kBuildEnded arrives, and hands its result over.
  build::SessionResult Join();

 private:
  void OnProgress(const build::BuildProgress& progress) override;

  HWND window_;
  build::SessionRequest request_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::optional<build::BuildProgress> latest_;  // guarded by mutex_; set: a message is posted
  build::SessionResult result_;
  std::thread thread_;
};

// Shows the result over `owner`: a refusal as a warning, or the report with the closing
// question. Returns what the answer asks for.
build::ReportOutcome AskAboutResult(const UiServices& services, HWND owner,
                                    const build::SessionResult& result);

}  // namespace talvex::ui::win32
