// Small pieces shared by the two windows: text conversion at the window edge, DPI scaling of the
// layout tables, fonts, and keyboard navigation.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "options/build_options.h"
#include "ui/control_table.h"

namespace talvex::ui::win32 {

std::wstring Wide(std::string_view utf8);
std::string WindowTextOf(HWND window);

// The text on the clipboard, or empty when there is none.
std::string ClipboardText(HWND owner);

// Makes the open list of a drop-down list wide enough for its longest entry at `dpi`; the closed
// box keeps its width from the layout.
void FitDropDownWidth(HWND list, UINT dpi);

// Text can reach an edit control past its key filter and WM_PASTE (Wine's edit control pastes
// on Shift+Insert by itself): when `filter` would change the control's text, the refused
// characters are taken out, the caret kept after what stays of the text before it, and true is
// returned (setting the text brings the change notification back).
bool KeepOnlyFiltered(HWND edit, const std::function<std::string(const std::string&)>& filter);

COLORREF ColourRef(Rgb colour);

// A check box's state as the record keeps it, and back.
options::CheckState CheckStateOf(HWND box);
WPARAM ButtonStateOf(options::CheckState state);

// The DPI the window is shown at (96 where the system cannot tell).
UINT DpiOf(HWND window);

// A control's rectangle in pixels at `dpi`, relative to its container.
RECT PixelRect(const ControlRow& row, UINT dpi);

// The outer size of a window whose client area is `window`'s at `dpi`.
SIZE OuterSize(const WindowSpec& window, DWORD style, DWORD ex_style, UINT dpi);

// Places a window of `size` centred on `area`, kept inside `bounds`.
POINT CentredOrigin(const RECT& area, SIZE size, const RECT& bounds);

// The fonts of one window at one DPI, made on first use and freed with the set.
class FontSet {
 public:
  FontSet() = default;
  FontSet(const FontSet&) = delete;
  FontSet& operator=(const FontSet&) = delete;
  ~FontSet() { Clear(); }

  HFONT Get(const FontSpec& wanted, UINT dpi);
  // Frees the fonts made for other DPIs, once no control uses them any more.
  void KeepOnly(UINT dpi);
  void Clear();

 private:
  struct Entry {
    FontSpec wanted;
    UINT dpi;
    HFONT font;
  };
  std::vector<Entry> fonts_;
};

// One control of a window and its row of the layout table.
struct PlacedControl {
  const ControlRow* row;
  HWND handle;
};

// The controls of one window, made from its layout table.
class PlacedControls {
 public:
  void Add(const ControlRow& row, HWND handle) { controls_.push_back({&row, handle}); }
  // The control of that name in the layout table, or nullptr.
  HWND Handle(std::string_view name) const;
  const PlacedControl* Find(HWND handle) const;
  // Moves every control to its place at `dpi`, inside its frame's border, and gives it its font.
  void Place(UINT dpi, FontSet& fonts) const;

  std::vector<PlacedControl>::const_iterator begin() const { return controls_.begin(); }
  std::vector<PlacedControl>::const_iterator end() const { return controls_.end(); }

 private:
  // `rect` (the row's place at `dpi`) without what reaches into its frame's border.
  RECT Inside(const ControlRow& row, RECT rect, UINT dpi) const;

  std::vector<PlacedControl> controls_;
};

// Moves a window to the rectangle that WM_DPICHANGED suggests in `lparam`.
void MoveToSuggestedRect(HWND window, LPARAM lparam);

// The object a window of `class_name` keeps in its user data; nullptr for any other window.
void* WindowObject(HWND window, std::wstring_view class_name);

// A tooltip window for the controls of one top-level window.
class Tooltips {
 public:
  void Create(HWND owner);
  void Add(HWND control, std::string_view text);
  void SetDpi(UINT dpi);

 private:
  HWND owner_ = nullptr;
  HWND tips_ = nullptr;
};

// Whether `message` is keyboard navigation of the active window (Tab, arrows), which it then
// carries out.
bool IsNavigationMessage(MSG& message);

}  // namespace talvex::ui::win32
