#include "ui/win32/progress_window.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <array>
#include <memory>
#include <utility>

#include "ui/window_texts.h"

namespace talvex::ui::win32 {

TaskbarProgress::~TaskbarProgress() {
  if (taskbar_ != nullptr) taskbar_->Release();
}

void TaskbarProgress::Connect() {
  if (taskbar_ == nullptr &&
      SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar_))) &&
      FAILED(taskbar_->HrInit())) {
    taskbar_->Release();
    taskbar_ = nullptr;
  }
}

void TaskbarProgress::Show(std::uint64_t done, std::uint64_t total) {
  if (taskbar_ == nullptr) return;
  if (total == 0) {
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
  } else {
    taskbar_->SetProgressState(window_, TBPF_NORMAL);
    taskbar_->SetProgressValue(window_, done, total);
  }
}

namespace {

constexpr DWORD kProgressStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kProgressExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kFirstControlId = 3000;

// 360 by 128 pixels at 96 DPI: room for a path of a few folders; a longer one is elided.
constexpr WindowSpec kProgressWindow{kProgressTitle, 5400, 2280};
ControlRow ProgressRow(std::string_view name, ControlKind kind, int left, int top, int width,
                       int height, std::string_view caption = {}) {
  ControlRow row{name,    kind, {},          left,         top, width, height, TextSource::kRow,
                 caption, {},   kDialogFont, std::nullopt, {}};
  return row;
}
const std::array<ControlRow, 5> kProgressControls = {
    ProgressRow("Stage", ControlKind::kLabel, 180, 180, 5040, 285),
    ProgressRow("Item", ControlKind::kLabel, 180, 525, 5040, 285),
    ProgressRow("Bar", ControlKind::kPicture, 180, 900, 5040, 300),
    // A line of its own: "12,5 МБ из 52,5 МБ · 8,1 МБ/с · осталось 2 мин 5 с" is as wide as the bar.
    ProgressRow("Figures", ControlKind::kLabel, 180, 1290, 5040, 285),
    ProgressRow("Stop", ControlKind::kButton, 3870, 1725, 1350, 375, kStopCaption),
};

}  // namespace

ProgressWindow::ProgressWindow(Calls calls, std::string decimal_separator)
    : TopLevelWindow(
          {kProgressWindowClass, kProgressWindow, kProgressStyle, kProgressExStyle, false}),
      calls_(std::move(calls)),
      decimal_separator_(std::move(decimal_separator)) {}

ProgressWindow* ProgressWindow::Create(HWND owner, Calls calls, std::string decimal_separator) {
  ProgressWindow* self =
      TopLevelWindow::Create(std::unique_ptr<ProgressWindow>(new ProgressWindow(
                                 std::move(calls), std::move(decimal_separator))),
                             owner);
  if (self == nullptr) return nullptr;
  self->CreateControls();
  self->PlaceControls();
  self->ShowOver(owner, self->Control("Stop"));
  return self;
}

ProgressWindow* ProgressWindow::FromHandle(HWND window) {
  return static_cast<ProgressWindow*>(ObjectOf(window, kProgressWindowClass));
}

void ProgressWindow::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (std::size_t index = 0; index < kProgressControls.size(); ++index) {
    const ControlRow& row = kProgressControls[index];
    const wchar_t* window_class = WC_STATICW;
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (row.kind == ControlKind::kButton) {
      window_class = WC_BUTTONW;
      style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
    } else if (row.kind == ControlKind::kPicture) {
      window_class = PROGRESS_CLASSW;
    } else {
      // The file in hand can be a long path: its middle gives way, never its name.
      style |= SS_LEFT | SS_NOPREFIX | (row.name == "Item" ? SS_PATHELLIPSIS : 0);
    }
    HWND control = CreateWindowExW(
        0, window_class, Wide(row.caption).c_str(), style, 0, 0, 0, 0, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + static_cast<int>(index))),
        instance, nullptr);
    if (control != nullptr) controls_.Add(row, control);
  }
}

void ProgressWindow::PlaceControls() {
  controls_.Place(dpi(), fonts_);
}

void ProgressWindow::SetText(std::string_view name, std::string_view text) {
  HWND control = Control(name);
  // Setting the same text again would only make the label flicker.
  if (control != nullptr && WindowTextOf(control) != text) {
    SetWindowTextW(control, Wide(text).c_str());
  }
}

void ProgressWindow::Show(const build::BuildProgress& progress) {
  SetText("Stage", stopping_ ? kStoppingText : StageText(progress.stage));
  SetText("Item", progress.item);
  const BarPosition bar = BarPositionOf(progress.bytes_done, progress.bytes_total);
  HWND control = Control("Bar");
  SendMessageW(control, PBM_SETRANGE32, 0, bar.range);
  SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(bar.position), 0);
  figures_.Take(progress, ProgressFigures::Clock::now());
  SetText("Figures", figures_.Text(decimal_separator_));
}

void ProgressWindow::PressStop() {
  if (stopping_) return;
  stopping_ = true;
  SetText("Stage", kStoppingText);
  EnableWindow(Control("Stop"), FALSE);
  TakeFocus();
  if (calls_.stop) calls_.stop();
}

void ProgressWindow::TakeFocus() {
  SetActiveWindow(window_);
  HWND stop = Control("Stop");
  SetFocus(stop != nullptr && IsWindowEnabled(stop) ? stop : window_);
}

void ProgressWindow::OnClose() {
  if (calls_.close_asked) calls_.close_asked();
}

LRESULT ProgressWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND) {
    // Escape comes from the dialog navigation as the standard Cancel.
    if (lparam == 0 && LOWORD(wparam) == IDCANCEL) {
      OnClose();
      return 0;
    }
    if (reinterpret_cast<HWND>(lparam) == Control("Stop") && HIWORD(wparam) == BN_CLICKED) {
      PressStop();
      return 0;
    }
  }
  return TopLevelWindow::Handle(message, wparam, lparam);
}

}  // namespace talvex::ui::win32
