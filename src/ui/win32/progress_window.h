// The progress window of a build: owned by the main window, which stays disabled while it is
// shown. It names the stage and the file in hand, shows a bar by bytes, and offers Stop.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>
#include <string_view>

#include "engine/build_run.h"
#include "ui/control_table.h"
#include "ui/win32/top_level_window.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

inline constexpr wchar_t kProgressWindowClass[] = L"TalvexBuildProgress";

class ProgressWindow final : public TopLevelWindow {
 public:
  // Creates and shows the window centred over `owner`; `stop` runs once, when Stop is pressed.
  // The object lives as long as its window; the owner destroys it once the build has ended.
  static ProgressWindow* Create(HWND owner, std::function<void()> stop);
  static ProgressWindow* FromHandle(HWND window);

  // The control of that name: "Stage", "Item", "Bar" or "Stop".
  HWND Control(std::string_view name) const { return controls_.Handle(name); }

  void Show(const build::BuildProgress& progress);
  // What the Stop button does: asks the build to stop and says so in the stage line.
  void PressStop();

 private:
  explicit ProgressWindow(std::function<void()> stop);

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceControls() override;
  // The close box stands for Stop: the window goes only once the build has ended.
  void OnClose() override { PressStop(); }
  void CreateControls();
  void SetText(std::string_view name, std::string_view text);

  std::function<void()> stop_;
  bool stopping_ = false;
  PlacedControls controls_;
  FontSet fonts_;
};

}  // namespace talvex::ui::win32
