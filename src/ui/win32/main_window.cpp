#include "ui/win32/main_window.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <functional>
#include <memory>

#include "engine/session.h"
#include "platform/win32/utf.h"
#include "ui/win32/about_window.h"
#include "ui/win32/frame_window.h"
#include "ui/win32/resource_ids.h"

namespace talvex::ui::win32 {

namespace {

constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;
constexpr int kFirstControlId = 1000;

COLORREF ColourRef(Rgb colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

options::CheckState CheckStateOf(HWND box) {
  switch (SendMessageW(box, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
      return options::CheckState::kChecked;
    case BST_INDETERMINATE:
      return options::CheckState::kGrayed;
    default:
      return options::CheckState::kUnchecked;
  }
}

WPARAM ButtonStateOf(options::CheckState state) {
  switch (state) {
    case options::CheckState::kChecked:
      return BST_CHECKED;
    case options::CheckState::kGrayed:
      return BST_INDETERMINATE;
    case options::CheckState::kUnchecked:
      break;
  }
  return BST_UNCHECKED;
}

// Hands the build's progress to the window: between steps it only repaints; once per entry of
// the final measurement it takes the input that is waiting.
class BuildPump final : public build::BuildObserver {
 public:
  BuildPump(std::function<void(std::size_t, std::size_t)> step, std::function<void()> yield)
      : step_(std::move(step)), yield_(std::move(yield)) {}
  void OnStep(std::size_t index, std::size_t total, const build::BuildStep&) override {
    step_(index, total);
  }
  void Yield() override { yield_(); }

 private:
  std::function<void(std::size_t, std::size_t)> step_;
  std::function<void()> yield_;
};

std::string ClipboardText(HWND owner) {
  std::string text;
  if (!OpenClipboard(owner)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = platform::WideToUtf8(wide);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void RegisterMainClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW main_class{};
  main_class.cbSize = sizeof(main_class);
  main_class.lpfnWndProc = procedure;
  main_class.hInstance = instance;
  main_class.hIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_TALVEX), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  main_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TALVEX),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                     GetSystemMetrics(SM_CYSMICON), 0));
  main_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main_class.lpszClassName = kMainWindowClass;
  RegisterClassExW(&main_class);
}

}  // namespace

MainWindow::MainWindow(UiServices services) : services_(std::move(services)) {}

MainWindow* MainWindow::Create(UiServices services, int show) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterFrameClass(instance);
  RegisterMainClass(instance, WindowProc);

  auto owned = std::unique_ptr<MainWindow>(new MainWindow(std::move(services)));
  // From WM_NCCREATE on, the window owns the object and deletes it with itself.
  HWND window = CreateWindowExW(kMainExStyle, kMainWindowClass, Wide(kMainWindow.title).c_str(),
                                kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, instance, &owned);
  if (window == nullptr) return nullptr;
  MainWindow* self = FromHandle(window);
  self->dpi_ = DpiOf(window);
  self->tooltips_.Create(window);
  self->CreateControls();
  self->PlaceControls();
  self->Centre();
  self->MirrorModel();
  self->focus_ = self->Control("Drive1");
  ShowWindow(window, show);
  UpdateWindow(window);
  SetFocus(self->focus_);
  return self;
}

MainWindow* MainWindow::FromHandle(HWND window) {
  return static_cast<MainWindow*>(WindowObject(window, kMainWindowClass));
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
      SetWindowSubclass(box, TextBoxProc, static_cast<UINT_PTR>(id),
                        reinterpret_cast<DWORD_PTR>(this));
      return box;
    }
    case ControlKind::kDriveList: {
      HWND list = make(0, WC_COMBOBOXW, {}, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
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
    tooltips_.Add(handle, TooltipOf(row));
  }
}

void MainWindow::FillDriveList(HWND list) {
  const std::vector<std::string> entries = services_.list_drives();
  const char current = services_.current_drive_letter();
  int selected = entries.empty() ? -1 : 0;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entries[index]).c_str()));
    if (current != 0 && !entries[index].empty() && entries[index][0] == current) {
      selected = static_cast<int>(index);
    }
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  model_.DriveChosen(selected >= 0 ? entries[static_cast<std::size_t>(selected)] : std::string());
}

void MainWindow::PlaceControls() {
  controls_.Place(dpi_, fonts_);
  tooltips_.SetDpi(dpi_);
}

void MainWindow::Centre() {
  const SIZE size = OuterSize(kMainWindow, kMainStyle, kMainExStyle, dpi_);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const POINT origin = CentredOrigin(monitor.rcWork, size, monitor.rcWork);
  SetWindowPos(window_, nullptr, origin.x, origin.y, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
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
  switch (placed->row->kind) {
    case ControlKind::kCheckBox:
      if (code == BN_CLICKED) OnCheckBoxClicked(*placed);
      break;
    case ControlKind::kButton:
      if (code == BN_CLICKED) Carry(model_.Clicked(placed->row->name));
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) OnTextChanged(*placed);
      break;
    case ControlKind::kDriveList:
      if (code == CBN_SELCHANGE) OnDriveChosen(*placed);
      break;
    default:
      break;
  }
}

void MainWindow::OnCheckBoxClicked(const PlacedControl& placed) {
  model_.CheckChanged(placed.row->name, CheckStateOf(placed.handle));
  MirrorModel();
}

void MainWindow::OnTextChanged(const PlacedControl& placed) {
  model_.TextChanged(placed.row->name, WindowTextOf(placed.handle));
}

void MainWindow::OnDriveChosen(const PlacedControl& placed) {
  model_.DriveChosen(WindowTextOf(placed.handle));
}

void MainWindow::PasteFiltered(const ControlRow& row, HWND box) {
  const std::string pasted = model_.FilterPasted(row.name, ClipboardText(window_));
  SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(pasted).c_str()));
}

void MainWindow::Carry(Action action) {
  switch (action) {
    case Action::kNothing:
      break;
    case Action::kSwitchKeyboardLayout:
      services_.load_keyboard_layout(Wide(kUsEnglishLayout), KLF_ACTIVATE);
      break;
    case Action::kOpenReadme:
      services_.start_program(ReadmeCommandLine(services_.source_root), SW_SHOWNORMAL);
      break;
    case Action::kOpenAbout:
      OpenAbout();
      break;
    case Action::kRunBuild:
      RunBuild();
      break;
  }
}

void MainWindow::OpenAbout() {
  EnableWindow(window_, FALSE);
  if (AboutWindow::Create(window_, services_.open_address) == nullptr) {
    EnableWindow(window_, TRUE);
  }
}

void MainWindow::ShowProgress(std::size_t done, std::size_t total) {
  if (taskbar_ == nullptr) return;
  if (total == 0) {
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
  } else {
    taskbar_->SetProgressState(window_, TBPF_NORMAL);
    taskbar_->SetProgressValue(window_, done, total);
  }
}

void MainWindow::RunBuild() {
  HWND focus = GetFocus();
  MirrorModel();  // every control locked while the stages copy
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (taskbar_ == nullptr &&
      SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar_))) &&
      FAILED(taskbar_->HrInit())) {
    taskbar_->Release();
    taskbar_ = nullptr;
  }

  BuildPump pump(
      [this](std::size_t index, std::size_t total) {
        ShowProgress(index, total);
        PumpPendingMessages(true);
      },
      [this] {
        if (model_.phase() == Phase::kBuilding) {
          model_.MeasurementStarted();
          MirrorModel();
        }
        PumpPendingMessages(false);
      });
  const build::SessionRequest request{services_.source_root,
                                      build::TargetOfDriveEntry(model_.options().Drive1),
                                      model_.options(), services_.decimal_separator};
  const build::SessionResult result = build::RunSession(*services_.file_system, request, &pump);

  model_.BuildEnded();
  MirrorModel();
  ShowProgress(0, 0);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  if (focus != nullptr && IsWindowEnabled(focus)) SetFocus(focus);
  ShowReport(result);
}

void MainWindow::ShowReport(const build::SessionResult& result) {
  if (result.build.refused) {
    services_.message_box(window_, Wide(result.build.refusal), Wide(kMainWindow.title),
                          MB_OK | MB_ICONWARNING);
    return;
  }
  const build::BuildReport report = build::WindowReport(result.report);
  const UINT icon = report.icon == build::ReportIcon::kWarning ? MB_ICONWARNING : MB_ICONQUESTION;
  const int answer = services_.message_box(window_, Wide(report.message), Wide(report.title),
                                           MB_YESNO | MB_DEFBUTTON1 | icon);
  if (answer != IDYES) return;
  if (!report.editor_command_line.empty()) {
    services_.start_program(report.editor_command_line, SW_SHOWNORMAL);
  }
  // Closed once this click has been handled, not under the button that is still reporting it.
  PostMessageW(window_, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    MainWindow* self = static_cast<std::unique_ptr<MainWindow>*>(create->lpCreateParams)->release();
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    std::function<void()> closed = std::move(self->services_.main_window_closed);
    if (self->taskbar_ != nullptr) self->taskbar_->Release();
    delete self;
    if (closed) closed();
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return self->Handle(message, wparam, lparam);
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
    case WM_SETCURSOR:
      if (model_.phase() != Phase::kIdle) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      // A build runs on this window's thread; it cannot be left half done under a closed window.
      if (model_.phase() != Phase::kIdle) return 0;
      DestroyWindow(window_);
      return 0;
    case WM_DPICHANGED: {
      dpi_ = LOWORD(wparam);
      PlaceControls();
      MoveToSuggestedRect(window_, lparam);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CALLBACK MainWindow::TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR, DWORD_PTR self) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(box, TextBoxProc, 0);
    return DefSubclassProc(box, message, wparam, lparam);
  }
  auto* window = reinterpret_cast<MainWindow*>(self);
  const PlacedControl* placed = window->controls_.Find(box);
  if (placed == nullptr) return DefSubclassProc(box, message, wparam, lparam);
  return window->HandleTextBox(*placed->row, box, message, wparam, lparam);
}

LRESULT MainWindow::HandleTextBox(const ControlRow& row, HWND box, UINT message, WPARAM wparam,
                                  LPARAM lparam) {
  switch (message) {
    case WM_CHAR:
      if (!model_.AcceptTyped(row.name, static_cast<char32_t>(wparam))) return 0;
      break;
    case WM_PASTE:
      PasteFiltered(row, box);
      return 0;
    case WM_LBUTTONDOWN:
      Carry(model_.Clicked(row.name));
      break;
    default:
      break;
  }
  return DefSubclassProc(box, message, wparam, lparam);
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsNavigationMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace talvex::ui::win32
