#include "ui/win32/main_window.h"

#include <commctrl.h>
#include <dbt.h>

#include <memory>
#include <string>

#include "engine/guard.h"
#include "ui/win32/about_window.h"
#include "ui/win32/drive_box.h"
#include "ui/win32/frame_window.h"
#include "ui/win32/report_box.h"
#include "ui/win32/subclass.h"

namespace talvex::ui::win32 {

namespace {

constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;
constexpr int kFirstControlId = 1000;

// The characters Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+X and Ctrl+Z produce in an edit control: keys the
// control acts on, not text typed.
bool IsEditShortcut(WPARAM character) {
  return character == 0x01 || character == 0x03 || character == 0x16 || character == 0x18 ||
         character == 0x1A;
}

// The US English keyboard layout the three SMB account fields switch to.
constexpr wchar_t kUsEnglishLayout[] = L"00000409";

// Posted to the window once it is shown: the warning that its folder holds no kit.
constexpr UINT kWarnNoKit = WM_APP + 1;

}  // namespace

MainWindow::MainWindow(UiServices services)
    : TopLevelWindow({kMainWindowClass, kMainWindow, kMainStyle, kMainExStyle, true}),
      services_(std::move(services)) {}

MainWindow* MainWindow::Create(UiServices services, int show) {
  RegisterFrameClass(GetModuleHandleW(nullptr));
  MainWindow* self = TopLevelWindow::Create(
      std::unique_ptr<MainWindow>(new MainWindow(std::move(services))), nullptr);
  if (self == nullptr) return nullptr;
  self->progress_ = std::make_unique<TaskbarProgress>(self->window_);
  self->tooltips_.Create(self->window_);
  self->CreateControls();
  self->PlaceControls();
  const HMONITOR monitor = MonitorFromWindow(self->window_, MONITOR_DEFAULTTOPRIMARY);
  self->CentreOn(WorkArea(monitor), monitor);
  self->MirrorModel();
  self->focus_ = self->DriveList();
  ShowWindow(self->window_, show);
  UpdateWindow(self->window_);
  SetFocus(self->focus_);
  // Started outside its kit folder, the program could only wipe the stick: it says so at once,
  // over the window rather than before it.
  if (!build::HoldsKit(*self->services_.file_system, self->services_.source_root)) {
    PostMessageW(self->window_, kWarnNoKit, 0, 0);
  }
  return self;
}

MainWindow* MainWindow::FromHandle(HWND window) {
  return static_cast<MainWindow*>(ObjectOf(window, kMainWindowClass));
}

HWND MainWindow::CreateControl(const ControlRow& row, HWND parent, int id) {
  const DWORD child = WS_CHILD | WS_VISIBLE;
  const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const std::wstring caption = Wide(CaptionOf(row));
  auto make = [&](DWORD ex_style, const wchar_t* window_class, const std::wstring& text,
                  DWORD style) {
    return CreateWindowExW(ex_style, window_class, text.c_str(), child | style, 0, 0, 0, 0, parent,
                           menu, instance, nullptr);
  };
  switch (row.kind) {
    case ControlKind::kFrame:
      return make(WS_EX_CONTROLPARENT, kFrameClass, caption, WS_CLIPSIBLINGS);
    case ControlKind::kCheckBox:
      return make(0, WC_BUTTONW, caption, WS_TABSTOP | BS_AUTOCHECKBOX);
    case ControlKind::kButton:
      return make(0, WC_BUTTONW, caption, WS_TABSTOP | BS_PUSHBUTTON);
    case ControlKind::kLabel:
      // SS_NOTIFY lets the label take the mouse, so its tooltip shows.
      return make(0, WC_STATICW, caption, SS_LEFT | SS_NOTIFY);
    case ControlKind::kTextBox: {
      HWND box = make(WS_EX_CLIENTEDGE, WC_EDITW, Wide(model_.TextOf(row.name).value_or("")),
                      WS_TABSTOP | ES_AUTOHSCROLL);
      BeginSubclass(box, TextBoxProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
      return box;
    }
    case ControlKind::kDriveList: {
      HWND list = make(0, WC_COMBOBOXW, {}, WS_TABSTOP | WS_VSCROLL | kDriveBoxStyle);
      AttachDriveBox(list, TooltipOf(row));
      FillDriveList(list);
      return list;
    }
    case ControlKind::kPicture:
      break;
  }
  return nullptr;
}

void MainWindow::CreateControls() {
  // Creation order is table order, which is the Tab order; controls go into their frames.
  for (std::size_t index = 0; index < kMainControls.size(); ++index) {
    const ControlRow& row = kMainControls[index];
    HWND parent = row.container.empty() ? window_ : Control(row.container);
    HWND handle = CreateControl(row, parent, kFirstControlId + static_cast<int>(index));
    if (handle == nullptr) continue;
    if (row.kind == ControlKind::kFrame && row.colour) {
      SendMessageW(handle, kFrameSetCaptionColour, ColourRef(*row.colour), 1);
    }
    controls_.Add(row, handle);
    if (row.kind != ControlKind::kDriveList) tooltips_.Add(handle, TooltipOf(row));
  }
}

void MainWindow::PlaceControls() {
  controls_.Place(dpi(), fonts_);
  if (HWND list = DriveList()) {
    FitDriveBox(list, dpi());
  }
  tooltips_.SetDpi(dpi());
}

void MainWindow::MirrorModel() {
  for (const PlacedControl& placed : controls_) {
    if (placed.row->kind == ControlKind::kCheckBox) {
      const WPARAM state =
          ButtonStateOf(model_.CheckOf(placed.row->name).value_or(options::CheckState::kUnchecked));
      if (static_cast<WPARAM>(SendMessageW(placed.handle, BM_GETCHECK, 0, 0)) != state) {
        SendMessageW(placed.handle, BM_SETCHECK, state, 0);
      }
    }
    const bool enabled = model_.IsEnabled(placed.row->name);
    if ((IsWindowEnabled(placed.handle) != FALSE) != enabled) EnableWindow(placed.handle, enabled);
  }
}

void MainWindow::OnCommand(HWND control, UINT code) {
  const PlacedControl* placed = controls_.Find(control);
  if (placed == nullptr) return;
  const std::string_view name = placed->row->name;
  // The controls are disabled during a build, but a message can still reach one: what it
  // changed is undone, and nothing is kept for after the build.
  if (model_.phase() != Phase::kIdle && placed->row->kind != ControlKind::kButton) {
    PutBack(*placed);
    return;
  }
  switch (placed->row->kind) {
    case ControlKind::kCheckBox:
      if (code != BN_CLICKED) break;
      model_.CheckChanged(name, CheckStateOf(placed->handle));
      MirrorModel();
      break;
    case ControlKind::kButton:
      if (code == BN_CLICKED) Carry(model_.Clicked(name), *this);
      break;
    case ControlKind::kTextBox:
      if (code != EN_CHANGE) break;
      // What got past the key filter (a paste by Shift+Insert) is taken out again first.
      if (KeepOnlyFiltered(placed->handle, [&](const std::string& text) {
            return model_.FilterPasted(name, text);
          })) {
        break;
      }
      model_.TextChanged(name, WindowTextOf(placed->handle));
      break;
    case ControlKind::kDriveList:
      if (code == CBN_SELCHANGE) PickDrive(WindowTextOf(placed->handle));
      // A stick plugged in while the window ran is there when the list opens.
      if (code == CBN_DROPDOWN) RefreshDriveList();
      break;
    default:
      break;
  }
}

void MainWindow::PutBack(const PlacedControl& placed) {
  switch (placed.row->kind) {
    case ControlKind::kTextBox: {
      const std::string text = model_.TextOf(placed.row->name).value_or("");
      if (WindowTextOf(placed.handle) != text) SetWindowTextW(placed.handle, Wide(text).c_str());
      break;
    }
    case ControlKind::kDriveList:
      // An empty text would select the first entry: no pick shows as no entry.
      if (model_.options().Drive1.empty()) {
        SendMessageW(placed.handle, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      } else {
        SendMessageW(placed.handle, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(Wide(model_.options().Drive1).c_str()));
      }
      break;
    default:
      MirrorModel();
      break;
  }
}

void MainWindow::PasteFiltered(const ControlRow& row, HWND box) {
  const std::string pasted = model_.FilterPasted(row.name, ClipboardText(window_));
  SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(pasted).c_str()));
}

void MainWindow::SwitchKeyboardLayout() {
  services_.load_keyboard_layout(kUsEnglishLayout, KLF_ACTIVATE);
}

void MainWindow::OpenReadme() {
  services_.start_program(NotepadCommandLine(ReadmePath(services_.source_root)), SW_SHOWNORMAL);
}

void MainWindow::OpenAbout() {
  EnableWindow(window_, FALSE);
  if (AboutWindow::Create(window_, services_.open_address) == nullptr) {
    EnableWindow(window_, TRUE);
  }
}

std::function<void()> MainWindow::OnDestroy() {
  return std::move(services_.main_window_closed);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
      return 0;
    case WM_ACTIVATE:
      // Give the focus back to the control that had it when the window was left.
      if (LOWORD(wparam) == WA_INACTIVE) {
        focus_ = GetFocus();
      } else if (focus_ != nullptr && IsWindow(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DRAWITEM:
      if (DrawDriveBoxItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return TRUE;
      break;
    case WM_DEVICECHANGE:
      if ((wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE) && lparam != 0 &&
          reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam)->dbch_devicetype ==
              DBT_DEVTYP_VOLUME) {
        RefreshDriveList();
      }
      return TRUE;
    case kWarnNoKit:
      Warn(build::NoKitMessage(services_.source_root));
      return 0;
    case kBuildProgressChanged:
      ShowProgress();
      return 0;
    case kBuildEnded:
      build_ended_ = true;
      return 0;
    case WM_HELP:
      // The report's Help button: every failure, over the report's box.
      if (!report_failures_.empty()) {
        FailureListWindow::Create(
            GetAncestor(static_cast<HWND>(reinterpret_cast<const HELPINFO*>(lparam)->hItemHandle),
                        GA_ROOT),
            report_failures_);
        return TRUE;
      }
      break;
    case WM_SETCURSOR:
      if (model_.phase() != Phase::kIdle) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return TopLevelWindow::Handle(message, wparam, lparam);
}

LRESULT CALLBACK MainWindow::TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR id, DWORD_PTR self) {
  if (message == WM_NCDESTROY) return EndSubclass(box, TextBoxProc, id, wparam, lparam);
  auto* window = reinterpret_cast<MainWindow*>(self);
  const PlacedControl* placed = window->controls_.Find(box);
  if (placed == nullptr) return DefSubclassProc(box, message, wparam, lparam);
  return window->HandleTextBox(*placed->row, box, message, wparam, lparam);
}

LRESULT MainWindow::HandleTextBox(const ControlRow& row, HWND box, UINT message, WPARAM wparam,
                                  LPARAM lparam) {
  // Disabled boxes still get what is sent to them: during a build no key or edit reaches them.
  if (model_.phase() != Phase::kIdle &&
      (message == WM_CHAR || message == WM_KEYDOWN || message == WM_PASTE || message == WM_CUT ||
       message == WM_CLEAR || message == WM_UNDO || message == EM_UNDO)) {
    return 0;
  }
  switch (message) {
    case WM_CHAR:
      // The clipboard and undo shortcuts reach an edit control as control characters; they are
      // keys, not typed text, and what they paste is filtered on WM_PASTE.
      if (IsEditShortcut(wparam)) break;
      if (!model_.AcceptTyped(row.name, static_cast<char32_t>(wparam))) return 0;
      break;
    case WM_PASTE:
      PasteFiltered(row, box);
      return 0;
    case WM_LBUTTONDOWN:
      Carry(model_.Clicked(row.name), *this);
      break;
    default:
      break;
  }
  return DefSubclassProc(box, message, wparam, lparam);
}

platform::ExitStatus RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsNavigationMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The window asks the loop to end with 0 once it has closed.
  return message.wParam == 0 ? platform::ExitStatus::kBuilt : platform::ExitStatus::kNothingDone;
}

}  // namespace talvex::ui::win32
