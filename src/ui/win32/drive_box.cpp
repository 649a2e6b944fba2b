#include "ui/win32/drive_box.h"

#include <commctrl.h>

#include <memory>

#include "platform/win32/utf.h"
#include "ui/drive_entry.h"
#include "ui/win32/subclass.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 0x7d1;
// The list's DriveBox, kept as a window property so that its owner's drawing finds it.
constexpr wchar_t kDriveBoxProperty[] = L"talvex.DriveBox";

// What the subclassed list keeps: its tooltip, its hint, and the text the tooltip shows.
struct DriveBox {
  HWND tips = nullptr;
  std::wstring hint;
  std::wstring tip;
};

DriveBox* DriveBoxOf(HWND list) {
  return static_cast<DriveBox*>(GetPropW(list, kDriveBoxProperty));
}

std::wstring EntryText(HWND list, int index) {
  if (index < 0) return {};
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

int TextWidth(HDC dc, std::wstring_view text) {
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &extent);
  return extent.cx;
}

// The room the closed box gives its text: its selection field less the text's margins.
RECT TextRoom(HWND list, RECT field) {
  const int margin = MulDiv(2, static_cast<int>(DpiOf(list)), 96);
  field.left += margin;
  field.right -= margin;
  return field;
}

// The entry the closed box shows, as it shows it.
std::wstring ShownEntry(HWND list, std::wstring* whole) {
  *whole = EntryText(list, static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)));
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  if (!GetComboBoxInfo(list, &info)) return *whole;
  const RECT room = TextRoom(list, info.rcItem);
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  std::wstring shown = FitDriveEntry(*whole, room.right - room.left,
                                     [dc](std::wstring_view text) { return TextWidth(dc, text); });
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  return shown;
}

LRESULT CALLBACK DriveBoxProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                              DWORD_PTR data) {
  auto* box = reinterpret_cast<DriveBox*>(data);
  if (message == WM_NCDESTROY) {
    RemovePropW(list, kDriveBoxProperty);
    if (box->tips != nullptr) DestroyWindow(box->tips);
    delete box;
    return EndSubclass(list, DriveBoxProc, id, wparam, lparam);
  }
  if (message == WM_NOTIFY) {
    auto* request = reinterpret_cast<NMTTDISPINFOW*>(lparam);
    if (request->hdr.hwndFrom == box->tips && request->hdr.code == TTN_GETDISPINFOW) {
      std::wstring whole;
      box->tip = ShownEntry(list, &whole) == whole ? box->hint : whole + L"\r\n" + box->hint;
      request->lpszText = box->tip.data();
      return 0;
    }
  }
  return DefSubclassProc(list, message, wparam, lparam);
}

}  // namespace

std::wstring FitDriveEntry(std::wstring_view text, int width,
                           const std::function<int(std::wstring_view)>& measure) {
  return Wide(FitEntry(WindowsEntryParts(platform::WideToUtf8(std::wstring(text))), width,
                       [&measure](std::string_view part) { return measure(Wide(part)); }));
}

void AttachDriveBox(HWND list, std::string_view hint) {
  auto box = std::make_unique<DriveBox>();
  box->hint = Wide(hint);
  box->tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, GetAncestor(list, GA_ROOT), nullptr,
                              nullptr, nullptr);
  if (box->tips != nullptr) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = list;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(box->tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SetPropW(list, kDriveBoxProperty, box.get());
  BeginSubclass(list, DriveBoxProc, kSubclassId, reinterpret_cast<DWORD_PTR>(box.release()));
}

void FitDriveBox(HWND list, UINT dpi) {
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  // The heights the system gives a list it draws itself: a line and a little room for the closed
  // box, a line for an entry of the open list.
  SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), metrics.tmHeight + 2);
  SendMessageW(list, CB_SETITEMHEIGHT, 0, metrics.tmHeight);
  FitDropDownWidth(list, dpi);
  if (const DriveBox* box = DriveBoxOf(list); box != nullptr && box->tips != nullptr) {
    SendMessageW(box->tips, TTM_SETMAXTIPWIDTH, 0, MulDiv(320, static_cast<int>(dpi), 96));
  }
}

bool DrawDriveBoxItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlType != ODT_COMBOBOX) return false;
  if (DriveBoxOf(item.hwndItem) == nullptr) return false;
  HWND list = item.hwndItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool closed_box = (item.itemState & ODS_COMBOBOXEDIT) != 0;
  // A disabled closed box is greyed as the system greys one it draws.
  const int background = selected                 ? COLOR_HIGHLIGHT
                         : disabled && closed_box ? COLOR_BTNFACE
                                                  : COLOR_WINDOW;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(background));
  std::wstring text = EntryText(list, static_cast<int>(item.itemID));
  HGDIOBJ old =
      SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  RECT room = TextRoom(list, item.rcItem);
  // Only the closed box cuts its entry; the open list is as wide as the longest.
  if (closed_box) {
    text = FitDriveEntry(text, room.right - room.left,
                         [dc = item.hDC](std::wstring_view part) { return TextWidth(dc, part); });
  }
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(disabled   ? COLOR_GRAYTEXT
                                     : selected ? COLOR_HIGHLIGHTTEXT
                                                : COLOR_WINDOWTEXT));
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &room,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  SelectObject(item.hDC, old);
  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    DrawFocusRect(item.hDC, &item.rcItem);
  }
  return true;
}

}  // namespace talvex::ui::win32
