#include "ui/win32/frame_window.h"

#include <string>

namespace talvex::ui::win32 {

namespace {

struct FrameLook {
  HFONT font = nullptr;
  std::optional<COLORREF> caption_colour;
};

FrameLook* LookOf(HWND frame) {
  return reinterpret_cast<FrameLook*>(GetWindowLongPtrW(frame, GWLP_USERDATA));
}

void Paint(HWND frame, HDC dc) {
  const FrameLook* look = LookOf(frame);
  RECT client;
  GetClientRect(frame, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));

  std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(frame)), L'\0');
  GetWindowTextW(frame, caption.data(), static_cast<int>(caption.size()) + 1);
  HGDIOBJ old_font = SelectObject(
      dc, look != nullptr && look->font != nullptr ? look->font : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);

  // The border runs through the middle of the caption's line, as a group box draws it.
  RECT border = client;
  if (!caption.empty()) border.top += metrics.tmHeight / 2;
  DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);

  if (!caption.empty()) {
    const int indent = metrics.tmAveCharWidth;
    SIZE extent{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    RECT text{client.left + indent, client.top, client.left + indent + extent.cx + 2,
              client.top + metrics.tmHeight};
    FillRect(dc, &text, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    COLORREF colour = GetSysColor(COLOR_BTNTEXT);
    if (!IsWindowEnabled(frame)) {
      colour = GetSysColor(COLOR_GRAYTEXT);
    } else if (look != nullptr && look->caption_colour) {
      colour = *look->caption_colour;
    }
    SetTextColor(dc, colour);
    text.left += 1;
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, old_font);
}

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new FrameLook));
      break;
    case WM_NCDESTROY:
      delete LookOf(frame);
      SetWindowLongPtrW(frame, GWLP_USERDATA, 0);
      break;
    case WM_SETFONT:
      if (FrameLook* look = LookOf(frame)) look->font = reinterpret_cast<HFONT>(wparam);
      if (LOWORD(lparam) != 0) InvalidateRect(frame, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(LookOf(frame) != nullptr ? LookOf(frame)->font : nullptr);
    case kFrameSetCaptionColour:
      if (FrameLook* look = LookOf(frame)) {
        look->caption_colour =
            lparam != 0 ? std::optional<COLORREF>(static_cast<COLORREF>(wparam)) : std::nullopt;
      }
      InvalidateRect(frame, nullptr, TRUE);
      return 0;
    case WM_ENABLE:
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcW(frame, message, wparam, lparam);
      InvalidateRect(frame, nullptr, TRUE);
      return result;
    }
    case WM_ERASEBKGND:
      return 1;  // painted with the rest
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(frame, &paint);
      Paint(frame, dc);
      EndPaint(frame, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(frame, reinterpret_cast<HDC>(wparam));
      return 0;
    // The controls inside belong to the window, which handles their notifications and colours.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
      return SendMessageW(GetParent(frame), message, wparam, lparam);
    default:
      break;
  }
  return DefWindowProcW(frame, message, wparam, lparam);
}

}  // namespace

void RegisterFrameClass(HINSTANCE instance) {
  WNDCLASSEXW frame_class{};
  frame_class.cbSize = sizeof(frame_class);
  frame_class.lpfnWndProc = FrameProc;
  frame_class.hInstance = instance;
  frame_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  frame_class.lpszClassName = kFrameClass;
  RegisterClassExW(&frame_class);  // a second registration fails harmlessly
}

}  // namespace talvex::ui::win32
