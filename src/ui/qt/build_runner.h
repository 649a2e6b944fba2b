// Runs one build for the window on a thread of its own and shows its report: the only place where
// the Qt window meets the build engine and the report.
#pragma once

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/build_run.h"
#include "options/build_options.h"
#include "platform/file_system.h"

class QWidget;

namespace talvex::build {
struct SessionResult;
}

namespace talvex::ui::qt {

// What the window builds: onto a folder that stands for the drive's root (a volume's mount
// point), with the options chosen at GO. The options are a copy, since the build outlives the
// click that started it.
struct WindowBuildRequest {
  platform::FileSystem* file_system = nullptr;
  std::string source_root;  // the kit folder
  std::string target;
  options::BuildOptions options;
  std::string decimal_separator;
  std::optional<platform::FileId> expected_root;  // the root's identity when the drive was picked
};

// One build, run by build::RunSession on a worker thread so that the window's thread only paints
// and takes input. The build's progress reaches the window's thread as queued signals, at most
// one waiting at a time however fast the build tells it: the window reads the latest.
class WindowBuild final : public QObject {
  Q_OBJECT

 public:
  explicit WindowBuild(WindowBuildRequest request);
  // Stops a build still running and waits for it: a build never outlives its window.
  ~WindowBuild() override;
  WindowBuild(const WindowBuild&) = delete;
  WindowBuild& operator=(const WindowBuild&) = delete;

  void Start();
  // Asks the build to stop after the step in hand; what was written is still flushed.
  void Stop() { stop_.store(true); }

  // The newest progress the build told.
  build::BuildProgress LatestProgress() const;

  // Once ended: shows the report as a modal box over `window` and carries out the answer's side
  // effects: on Yes the PVR settings file opens in the desktop's editor when `pvr` is ticked.
  // Returns whether the program should close. A refused build shows why, and never closes.
  bool ShowReport(QWidget* window) const;

 signals:
  void progressed();
  // The build has ended and its thread is gone.
  void ended();

 private:
  class Observer;
  void Tell(const build::BuildProgress& progress);

  WindowBuildRequest request_;
  std::atomic<bool> stop_{false};
  mutable std::mutex latest_mutex_;
  build::BuildProgress latest_;
  // Set while a progress notice waits in the queue: the build posts again only after the window
  // has taken it, so the queue never floods.
  std::atomic<bool> notice_waiting_{false};
  // Written by the worker before it posts the end; read after the thread is joined.
  std::unique_ptr<build::SessionResult> result_;
  std::thread worker_;
};

}  // namespace talvex::ui::qt
