// The end of a build as the Windows window shows it: a refusal, or the report in a message box
// whose Yes closes the program; and, when the report can name only the first failures, the list
// of all of them, which the box's Help button opens.
#pragma once

#include "platform/win32/windows_api.h"

#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"
#include "ui/win32/top_level_window.h"
#include "ui/win32/ui_services.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

// Shows the result over `owner`: a refusal as a warning, or the report with the closing question
// (with a Help button when it names only the first failures: the system sends `owner` WM_HELP,
// which shows them all). Returns what the answer asks for.
build::ReportOutcome AskAboutResult(const UiServices& services, HWND owner,
                                    const build::SessionResult& result);

// The failures a report shows only in part: every one of them, or nothing when the report names
// them all.
std::vector<std::string> FailuresNotAllNamed(const build::SessionResult& result);

inline constexpr wchar_t kFailureListClass[] = L"TalvexFailureList";

// Every failure of a build, one a line, in a list the user can scroll both ways.
class FailureListWindow final : public TopLevelWindow {
 public:
  // Creates and shows the window over `owner` (the report's box), which it goes with.
  static FailureListWindow* Create(HWND owner, const std::vector<std::string>& lines);
  static FailureListWindow* FromHandle(HWND window);

  HWND list() const { return list_; }

 private:
  FailureListWindow();
  void PlaceControls() override;

  HWND list_ = nullptr;
};

}  // namespace talvex::ui::win32
