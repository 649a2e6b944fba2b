// frmAbut: the About window, owned by the main window, which stays disabled while it is open.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_table.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

inline constexpr wchar_t kAboutWindowClass[] = L"TalvexFrmAbut";

using OpenAddress = std::function<void(HWND window, const std::string& address)>;

class AboutWindow {
 public:
  // Creates and shows the window centred over `owner`. The object lives as long as its window.
  static AboutWindow* Create(HWND owner, OpenAddress open_address);
  static AboutWindow* FromHandle(HWND window);

  AboutWindow(const AboutWindow&) = delete;
  AboutWindow& operator=(const AboutWindow&) = delete;
  ~AboutWindow();

  HWND handle() const { return window_; }
  HWND Control(std::string_view name) const { return controls_.Handle(name); }

 private:
  AboutWindow(HWND owner, OpenAddress open_address);

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void PlaceControls();
  void FitTitle() const;
  void CentreOverOwner();
  void DrawPicture(const DRAWITEMSTRUCT& item) const;
  void Unload();

  HWND owner_;
  OpenAddress open_address_;
  HWND window_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  PlacedControls controls_;
  FontSet fonts_;
  HBITMAP picture_ = nullptr;
};

}  // namespace talvex::ui::win32
