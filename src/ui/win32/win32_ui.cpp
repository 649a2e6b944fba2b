#include "ui/win32/win32_ui.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/win32/utf.h"

namespace talvex::ui::win32 {

std::wstring Wide(std::string_view utf8) {
  return platform::Utf8ToWide(utf8);
}

std::string WindowTextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return platform::WideToUtf8(text);
}

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

namespace {
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}
}  // namespace

// Looked up at run time so that the program still starts on systems older than the per-monitor
// DPI functions; there the screen's DPI applies to every window.
UINT DpiOf(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (get_dpi_for_window != nullptr && window != nullptr) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

RECT PixelRect(const ControlRow& row, UINT dpi) {
  const int d = static_cast<int>(dpi);
  const int left = TwipsToPixels(row.left, d);
  const int top = TwipsToPixels(row.top, d);
  return RECT{left, top, left + TwipsToPixels(row.width, d), top + TwipsToPixels(row.height, d)};
}

SIZE OuterSize(const WindowSpec& window, DWORD style, DWORD ex_style, UINT dpi) {
  const int d = static_cast<int>(dpi);
  RECT rect{0, 0, TwipsToPixels(window.client_width, d), TwipsToPixels(window.client_height, d)};
  using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi =
      User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
  if (adjust_for_dpi != nullptr) {
    adjust_for_dpi(&rect, style, FALSE, ex_style, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

POINT CentredOrigin(const RECT& area, SIZE size, const RECT& bounds) {
  LONG x = area.left + (area.right - area.left - size.cx) / 2;
  LONG y = area.top + (area.bottom - area.top - size.cy) / 2;
  x = std::max(bounds.left, std::min(x, bounds.right - size.cx));
  y = std::max(bounds.top, std::min(y, bounds.bottom - size.cy));
  return POINT{x, y};
}

HFONT FontSet::Get(const FontSpec& wanted, UINT dpi) {
  for (const Entry& entry : fonts_) {
    if (entry.wanted == wanted && entry.dpi == dpi) return entry.font;
  }
  LOGFONTW font{};
  font.lfHeight = -FontPixels(wanted.size_centipoints, static_cast<int>(dpi));
  font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = wanted.cyrillic ? RUSSIAN_CHARSET : DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  const std::wstring family = Wide(wanted.family);
  family.copy(font.lfFaceName, LF_FACESIZE - 1);
  HFONT made = CreateFontIndirectW(&font);
  fonts_.push_back({wanted, dpi, made});
  return made;
}

void FontSet::KeepOnly(UINT dpi) {
  std::erase_if(fonts_, [dpi](const Entry& entry) {
    if (entry.dpi == dpi) return false;
    DeleteObject(entry.font);
    return true;
  });
}

void FontSet::Clear() {
  for (const Entry& entry : fonts_) DeleteObject(entry.font);
  fonts_.clear();
}

void Tooltips::Create(HWND owner) {
  owner_ = owner;
  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
  SetDpi(DpiOf(owner));
}

void Tooltips::Add(HWND control, std::string_view text) {
  if (tips_ == nullptr || text.empty()) return;
  std::wstring wide = Wide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = wide.data();
  SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Tooltips::SetDpi(UINT dpi) {
  // Long Russian hints wrap instead of running across the screen.
  if (tips_ != nullptr)
    SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, MulDiv(320, static_cast<int>(dpi), 96));
}

bool IsNavigationMessage(MSG& message) {
  HWND active = GetActiveWindow();
  return active != nullptr && IsDialogMessageW(active, &message);
}

HWND PlacedControls::Handle(std::string_view name) const {
  for (const PlacedControl& placed : controls_) {
    if (placed.row->name == name) return placed.handle;
  }
  return nullptr;
}

const PlacedControl* PlacedControls::Find(HWND handle) const {
  for (const PlacedControl& placed : controls_) {
    if (placed.handle == handle) return &placed;
  }
  return nullptr;
}

RECT PlacedControls::Inside(const ControlRow& row, RECT rect, UINT dpi) const {
  const PlacedControl* container = nullptr;
  for (const PlacedControl& placed : controls_) {
    if (placed.row->name == row.container) container = &placed;
  }
  if (container == nullptr || container->row->kind != ControlKind::kFrame) return rect;
  // A frame's etched border is two pixels at every DPI.
  constexpr int kBorder = 2;
  const RECT frame = PixelRect(*container->row, dpi);
  rect.right = std::min(rect.right, frame.right - frame.left - kBorder);
  rect.bottom = std::min(rect.bottom, frame.bottom - frame.top - kBorder);
  return rect;
}

void PlacedControls::Place(UINT dpi, FontSet& fonts) const {
  // A drop-down list's height includes its open list; the closed box sizes itself to its font.
  constexpr int kDropDownRows = 8;
  for (const PlacedControl& placed : controls_) {
    // Some rows reach into their frame's border (ArFix2 to its right edge); the border stays
    // whole, as the frame draws it under its controls.
    RECT rect = Inside(*placed.row, PixelRect(*placed.row, dpi), dpi);
    if (placed.row->kind == ControlKind::kDriveList) {
      rect.bottom += (rect.bottom - rect.top) * kDropDownRows;
    }
    SendMessageW(placed.handle, WM_SETFONT,
                 reinterpret_cast<WPARAM>(fonts.Get(placed.row->font, dpi)), FALSE);
    MoveWindow(placed.handle, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               TRUE);
  }
  fonts.KeepOnly(dpi);
}

void MoveToSuggestedRect(HWND window, LPARAM lparam) {
  const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
  SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void* WindowObject(HWND window, std::wstring_view class_name) {
  wchar_t name[64] = {};
  if (window == nullptr || GetClassNameW(window, name, 64) == 0 ||
      std::wstring_view(name) != class_name) {
    return nullptr;
  }
  return reinterpret_cast<void*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void FitDropDownWidth(HWND list, UINT dpi) {
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  int widest = 0;
  const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int index = 0; index < count; ++index) {
    std::wstring entry(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)),
                       L'\0');
    SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry.data()));
    SIZE extent{};
    GetTextExtentPoint32W(dc, entry.c_str(), static_cast<int>(entry.size()), &extent);
    widest = std::max(widest, static_cast<int>(extent.cx));
  }
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  const int d = static_cast<int>(dpi);
  const int margins = MulDiv(8, d, 96) + MulDiv(GetSystemMetrics(SM_CXVSCROLL), d, 96) +
                      2 * GetSystemMetrics(SM_CXBORDER);
  // Twice: Wine takes a width narrower than the list's current one (after a move to a lower
  // DPI) as a request for the closed box's width, and only a second call then sets it.
  for (int pass = 0; pass < 2; ++pass) {
    SendMessageW(list, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + margins), 0);
  }
}

bool KeepOnlyFiltered(HWND edit, const std::function<std::string(const std::string&)>& filter) {
  const std::string text = WindowTextOf(edit);
  const std::string kept = filter(text);
  if (kept == text) return false;
  DWORD caret = 0;
  SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  const std::wstring before = platform::Utf8ToWide(text).substr(0, caret);
  const std::wstring kept_before = platform::Utf8ToWide(filter(platform::WideToUtf8(before)));
  SetWindowTextW(edit, platform::Utf8ToWide(kept).c_str());
  const auto at = static_cast<WPARAM>(kept_before.size());
  SendMessageW(edit, EM_SETSEL, at, static_cast<LPARAM>(at));
  return true;
}

}  // namespace talvex::ui::win32
