// frmAbut: the About window, owned by the main window, which stays disabled while it is open.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_table.h"
#include "ui/win32/top_level_window.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

inline constexpr wchar_t kAboutWindowClass[] = L"TalvexFrmAbut";

using OpenAddress = std::function<void(HWND window, const std::string& address)>;

class AboutWindow final : public TopLevelWindow {
 public:
  // Creates and shows the window centred over `owner`. The object lives as long as its window.
  static AboutWindow* Create(HWND owner, OpenAddress open_address);
  static AboutWindow* FromHandle(HWND window);

  ~AboutWindow() override;

  HWND Control(std::string_view name) const { return controls_.Handle(name); }

 private:
  AboutWindow(HWND owner, OpenAddress open_address);

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceControls() override;
  void OnClose() override;
  void CreateControls();
  // The links take the focus by Tab and open by Enter or Space, with the focus drawn round them.
  static LRESULT CALLBACK LinkProc(HWND label, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  void OpenLink(HWND label) const;
  void FitTitle() const;
  void DrawPicture(const DRAWITEMSTRUCT& item) const;

  HWND owner_;
  OpenAddress open_address_;
  PlacedControls controls_;
  FontSet fonts_;
  HBITMAP picture_ = nullptr;
};

}  // namespace talvex::ui::win32
