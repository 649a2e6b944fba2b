#include "ui/win32/report_box.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "engine/build_report.h"
#include "ui/control_table.h"
#include "ui/window_texts.h"

namespace talvex::ui::win32 {

std::vector<std::string> FailuresNotAllNamed(const build::SessionResult& result) {
  const std::vector<std::string>& failures = result.report.failure_lines;
  return failures.size() > build::kReportedFailuresMax ? failures : std::vector<std::string>{};
}

build::ReportOutcome AskAboutResult(const UiServices& services, HWND owner,
                                    const build::SessionResult& result) {
  if (result.build.refused) {
    services.message_box(owner, Wide(result.build.refusal), Wide(kMainWindow.title),
                         MB_OK | MB_ICONWARNING);
    return {};
  }
  const build::BuildReport report = build::WindowReport(result.report);
  const UINT icon = report.icon == build::ReportIcon::kWarning ? MB_ICONWARNING : MB_ICONQUESTION;
  const UINT help = FailuresNotAllNamed(result).empty() ? 0 : MB_HELP;
  const int answer = services.message_box(owner, Wide(report.message), Wide(report.title),
                                          MB_YESNO | MB_DEFBUTTON1 | icon | help);
  return build::OutcomeOf(report,
                          answer == IDYES ? build::ReportAnswer::kYes : build::ReportAnswer::kNo);
}

namespace {

constexpr DWORD kListStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kListExStyle = WS_EX_DLGMODALFRAME;
// 480 by 288 pixels at 96 DPI, the text box 8 pixels in from the edges.
constexpr WindowSpec kFailureList{kAllFailuresTitle, 7200, 4320};
constexpr int kMargin = 120;

}  // namespace

FailureListWindow::FailureListWindow()
    : TopLevelWindow({kFailureListClass, kFailureList, kListStyle, kListExStyle, false}) {}

FailureListWindow* FailureListWindow::Create(HWND owner, const std::vector<std::string>& lines) {
  FailureListWindow* self =
      TopLevelWindow::Create(std::unique_ptr<FailureListWindow>(new FailureListWindow()), owner);
  if (self == nullptr) return nullptr;
  // A list box rather than a read-only text box: Wine's text box fails on these Cyrillic lines
  // in any TrueType font, while a list box draws them as the report's box does.
  self->list_ =
      CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTBOXW, L"",
                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL |
                          LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                      0, 0, 0, 0, self->window_, nullptr, GetModuleHandleW(nullptr), nullptr);
  // The lines in the report's own font, the one they were read in a moment ago.
  SendMessageW(self->list_, WM_SETFONT, SendMessageW(owner, WM_GETFONT, 0, 0), FALSE);
  HDC dc = GetDC(self->list_);
  const HGDIOBJ was =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(owner, WM_GETFONT, 0, 0)));
  LONG widest = 0;
  for (const std::string& line : lines) {
    const std::wstring wide = Wide(line);
    SendMessageW(self->list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    widest = std::max(widest, size.cx);
  }
  SelectObject(dc, was);
  ReleaseDC(self->list_, dc);
  // A line wider than the list scrolls sideways instead of being cut.
  SendMessageW(self->list_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
  self->PlaceControls();
  self->ShowOver(owner, self->list_);
  return self;
}

FailureListWindow* FailureListWindow::FromHandle(HWND window) {
  return static_cast<FailureListWindow*>(ObjectOf(window, kFailureListClass));
}

void FailureListWindow::PlaceControls() {
  if (list_ == nullptr) return;
  const int d = static_cast<int>(dpi());
  const int margin = TwipsToPixels(kMargin, d);
  MoveWindow(list_, margin, margin, TwipsToPixels(kFailureList.client_width, d) - 2 * margin,
             TwipsToPixels(kFailureList.client_height, d) - 2 * margin, TRUE);
}

}  // namespace talvex::ui::win32
