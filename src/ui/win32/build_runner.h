// A build session run from a window, on the window's own thread: the busy pointer, the progress
// on the taskbar button, repaints between steps and the user's input while the tree is measured;
// then the report in a message box.
#pragma once

#include "platform/win32/windows_api.h"

#include <cstddef>
#include <functional>

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
  void Show(std::size_t done, std::size_t total);

 private:
  HWND window_;
  ITaskbarList3* taskbar_ = nullptr;
};

class WindowBuildRunner final : public build::BuildObserver {
 public:
  // `measuring` runs as the measurement begins: the window lets the user change options again.
  WindowBuildRunner(TaskbarProgress& progress, std::function<void()> measuring)
      : progress_(progress), measuring_(std::move(measuring)) {}

  build::SessionResult Run(platform::FileSystem& fs, const build::SessionRequest& request);

  void OnPhase(build::BuildPhase phase) override;
  // Between steps the window only repaints; it takes no input while the stages copy.
  void OnStep(std::size_t index, std::size_t total, const build::BuildStep& step) override;
  // Once per entry of the measurement the window takes the input that is waiting.
  void Yield() override;

 private:
  TaskbarProgress& progress_;
  std::function<void()> measuring_;
};

// Shows the result over `owner`: a refusal as a warning, or the report with the closing
// question. Returns what the answer asks for.
build::ReportOutcome AskAboutResult(const UiServices& services, HWND owner,
                                    const build::SessionResult& result);

}  // namespace talvex::ui::win32
