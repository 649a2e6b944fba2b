// What every top-level window of the program shares: its class, registered with the program's
// icon; the window procedure, which hands each message to the window object; the size and place
// from its layout table; following a DPI change; and closing.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <memory>
#include <string_view>

#include "ui/control_table.h"

namespace talvex::ui::win32 {

class TopLevelWindow {
 public:
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;
  virtual ~TopLevelWindow() = default;

  HWND handle() const { return window_; }

 protected:
  // The window's class, style and layout.
  struct Look {
    const wchar_t* class_name;
    const WindowSpec& layout;
    DWORD style;
    DWORD ex_style;
    bool small_icon;  // the class also carries the small icon (caption, taskbar)
  };

  explicit TopLevelWindow(const Look& look) : look_(look) {}

  // Creates the window of `object`: from WM_NCCREATE on the window owns the object and deletes
  // it with itself. Returns the object, or nullptr when the window cannot be created.
  template <typename Window>
  static Window* Create(std::unique_ptr<Window> object, HWND owner) {
    std::unique_ptr<TopLevelWindow> owned = std::move(object);
    TopLevelWindow* created = CreateWindowOf(owned, owner);
    return static_cast<Window*>(created);
  }

  // The object of a window of `class_name`; nullptr for any other window.
  static TopLevelWindow* ObjectOf(HWND window, std::wstring_view class_name);

  // Sizes the window for its layout at the current DPI and centres it on `area`, kept inside the
  // work area of the monitor `monitor` names.
  void CentreOn(const RECT& area, HMONITOR monitor);
  // Centres the window over `owner`, shows it and gives `focus` the keyboard: how the windows
  // that stand over the main window open.
  void ShowOver(HWND owner, HWND focus);
  // The work area of that monitor.
  static RECT WorkArea(HMONITOR monitor);

  // Every message but the ones handled here; by default the system's handling.
  virtual LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Puts the controls where the layout wants them at dpi(), after creation and DPI changes.
  virtual void PlaceControls() = 0;
  // The close box, Alt+F4 or WM_CLOSE; by default the window goes.
  virtual void OnClose() { DestroyWindow(window_); }
  // The window is going; what the returned function does runs once the object is deleted.
  virtual std::function<void()> OnDestroy() { return {}; }

  UINT dpi() const { return dpi_; }

  HWND window_ = nullptr;

 private:
  static TopLevelWindow* CreateWindowOf(std::unique_ptr<TopLevelWindow>& owned, HWND owner);
  static void Register(const Look& look);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  Look look_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
};

}  // namespace talvex::ui::win32
