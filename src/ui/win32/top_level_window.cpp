#include "ui/win32/top_level_window.h"

#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

void TopLevelWindow::Register(const Look& look) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_TALVEX), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (look.small_icon) {
    window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TALVEX),
                                                         IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                         GetSystemMetrics(SM_CYSMICON), 0));
  }
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = look.class_name;
  // A second registration fails harmlessly: the class is there.
  RegisterClassExW(&window_class);
}

TopLevelWindow* TopLevelWindow::CreateWindowOf(std::unique_ptr<TopLevelWindow>& owned, HWND owner) {
  const Look& look = owned->look_;
  Register(look);
  HWND window = CreateWindowExW(look.ex_style, look.class_name, Wide(look.layout.title).c_str(),
                                look.style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr), &owned);
  if (window == nullptr) return nullptr;
  TopLevelWindow* self = ObjectOf(window, look.class_name);
  if (self != nullptr) self->dpi_ = DpiOf(window);
  return self;
}

TopLevelWindow* TopLevelWindow::ObjectOf(HWND window, std::wstring_view class_name) {
  return static_cast<TopLevelWindow*>(WindowObject(window, class_name));
}

RECT TopLevelWindow::WorkArea(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  return info.rcWork;
}

void TopLevelWindow::CentreOn(const RECT& area, HMONITOR monitor) {
  const SIZE size = OuterSize(look_.layout, look_.style, look_.ex_style, dpi_);
  const POINT origin = CentredOrigin(area, size, WorkArea(monitor));
  SetWindowPos(window_, nullptr, origin.x, origin.y, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TopLevelWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CALLBACK TopLevelWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    TopLevelWindow* self =
        static_cast<std::unique_ptr<TopLevelWindow>*>(create->lpCreateParams)->release();
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TopLevelWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_NCDESTROY: {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      const std::function<void()> after = self->OnDestroy();
      delete self;
      if (after) after();
      return DefWindowProcW(window, message, wparam, lparam);
    }
    case WM_CLOSE:
      self->OnClose();
      return 0;
    case WM_DPICHANGED:
      self->dpi_ = LOWORD(wparam);
      self->PlaceControls();
      MoveToSuggestedRect(window, lparam);
      return 0;
    default:
      return self->Handle(message, wparam, lparam);
  }
}

void TopLevelWindow::ShowOver(HWND owner, HWND focus) {
  RECT over{};
  GetWindowRect(owner, &over);
  CentreOn(over, MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST));
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  SetFocus(focus);
}

}  // namespace talvex::ui::win32
