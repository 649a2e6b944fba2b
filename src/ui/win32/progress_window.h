// The progress of a build as the Windows window shows it: a window owned by the main window, which
// stays disabled while it is shown, naming the stage and the file in hand, with a bar by bytes,
// its figures and Stop; and the progress bar of the taskbar button.
#pragma once

#include "platform/win32/windows_api.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/build_run.h"
#include "ui/control_table.h"
#include "ui/progress_figures.h"
#include "ui/win32/top_level_window.h"
#include "ui/win32/win32_ui.h"

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

inline constexpr wchar_t kProgressWindowClass[] = L"TalvexBuildProgress";

class ProgressWindow final : public TopLevelWindow {
 public:
  // What the window asks of its owner.
  struct Calls {
    std::function<void()> stop;         // once, when Stop is pressed
    std::function<void()> close_asked;  // the close box, Alt+F4 or Escape
  };

  // Creates and shows the window centred over `owner`, with the focus on Stop. The object lives
  // as long as its window; the owner destroys it once the build has ended. `decimal_separator`
  // is the user's locale's, for the figures.
  static ProgressWindow* Create(HWND owner, Calls calls, std::string decimal_separator);
  static ProgressWindow* FromHandle(HWND window);

  // The control of that name: "Stage", "Item", "Bar", "Figures" or "Stop".
  HWND Control(std::string_view name) const { return controls_.Handle(name); }

  void Show(const build::BuildProgress& progress);
  // What the Stop button does: asks the build to stop and says so in the stage line; the window
  // keeps the focus, so Escape still reaches it.
  void PressStop();
  // Activates the window and gives the focus to Stop, or to the window once Stop is grey.
  void TakeFocus();

 private:
  ProgressWindow(Calls calls, std::string decimal_separator);

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceControls() override;
  // The window goes only once the build has ended: closing it asks what closing the main window
  // asks.
  void OnClose() override;
  void CreateControls();
  void SetText(std::string_view name, std::string_view text);

  Calls calls_;
  std::string decimal_separator_;
  bool stopping_ = false;
  ProgressFigures figures_;
  PlacedControls controls_;
  FontSet fonts_;
};

}  // namespace talvex::ui::win32
