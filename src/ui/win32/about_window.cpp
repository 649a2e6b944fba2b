#include "ui/win32/about_window.h"

#include <commctrl.h>

#include <memory>

#include "ui/line_break.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/subclass.h"

namespace talvex::ui::win32 {

namespace {

// A fixed dialog frame with a close box only; owned, so it gets no taskbar button.
constexpr DWORD kAboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kAboutExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kFirstControlId = 2000;
constexpr int kPictureWidth = 253;  // pixels at 96 DPI, the picture's own size
constexpr int kPictureHeight = 173;

// The height `text` takes in `label`, wrapped at the label's width as the label wraps it.
int WrappedHeight(HWND label, const std::wstring& text) {
  RECT rect{};
  GetClientRect(label, &rect);
  rect.bottom = 0;
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return rect.bottom;
}

}  // namespace

AboutWindow::AboutWindow(HWND owner, OpenAddress open_address)
    : TopLevelWindow({kAboutWindowClass, kAboutWindow, kAboutStyle, kAboutExStyle, false}),
      owner_(owner),
      open_address_(std::move(open_address)) {}

AboutWindow::~AboutWindow() {
  if (picture_ != nullptr) DeleteObject(picture_);
}

AboutWindow* AboutWindow::Create(HWND owner, OpenAddress open_address) {
  AboutWindow* self = TopLevelWindow::Create(
      std::unique_ptr<AboutWindow>(new AboutWindow(owner, std::move(open_address))), owner);
  if (self == nullptr) return nullptr;
  self->picture_ =
      static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TELEVISION),
                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  self->CreateControls();
  self->PlaceControls();
  self->ShowOver(owner, self->Control(AboutControl(ControlRole::kThanks).name));
  return self;
}

AboutWindow* AboutWindow::FromHandle(HWND window) {
  return static_cast<AboutWindow*>(ObjectOf(window, kAboutWindowClass));
}

void AboutWindow::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (std::size_t index = 0; index < kAboutControls.size(); ++index) {
    const ControlRow& row = kAboutControls[index];
    const wchar_t* window_class = WC_STATICW;
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (row.kind) {
      case ControlKind::kButton:
        window_class = WC_BUTTONW;
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case ControlKind::kPicture:
        style |= SS_OWNERDRAW;
        break;
      default:
        // Clickable labels report their clicks and take the focus; the pointer stays the arrow
        // over them.
        style |= SS_LEFT | SS_NOPREFIX | (row.link.empty() ? 0 : SS_NOTIFY | WS_TABSTOP);
        break;
    }
    const int id = kFirstControlId + static_cast<int>(index);
    HWND handle =
        CreateWindowExW(0, window_class, Wide(CaptionOf(row)).c_str(), style, 0, 0, 0, 0, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (handle == nullptr) continue;
    controls_.Add(row, handle);
    if (!row.link.empty()) {
      BeginSubclass(handle, LinkProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
    }
  }
}

void AboutWindow::PlaceControls() {
  controls_.Place(dpi(), fonts_);
  FitTitle();
}

// The title's label is two lines high. Where its face is too wide for the label to wrap the title
// as written (the run of spaces would push the product name onto a third line), the run of
// spaces becomes the line break, so that "Talvex All Extensions." stays whole on the second line.
void AboutWindow::FitTitle() const {
  const ControlRow& row = AboutControl(ControlRole::kAboutTitle);
  HWND title = Control(row.name);
  if (title == nullptr) return;
  std::wstring text = Wide(row.caption);
  RECT client{};
  GetClientRect(title, &client);
  if (WrappedHeight(title, text) > client.bottom) text = Wide(BreakAtSpaceRun(row.caption, "\r\n"));
  if (Wide(WindowTextOf(title)) != text) SetWindowTextW(title, text.c_str());
}

void AboutWindow::DrawPicture(const DRAWITEMSTRUCT& item) const {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (picture_ == nullptr) return;
  HDC source = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(source, picture_);
  // The picture keeps its own size at 96 DPI and grows with the layout above it.
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const int d = static_cast<int>(dpi());
  SetStretchBltMode(item.hDC, HALFTONE);
  GdiAlphaBlend(item.hDC, item.rcItem.left, item.rcItem.top, MulDiv(kPictureWidth, d, 96),
                MulDiv(kPictureHeight, d, 96), source, 0, 0, kPictureWidth, kPictureHeight, blend);
  SelectObject(source, old);
  DeleteDC(source);
}

void AboutWindow::OpenLink(HWND label) const {
  if (const PlacedControl* placed = controls_.Find(label)) {
    open_address_(window_, std::string(placed->row->link));
  }
}

LRESULT CALLBACK AboutWindow::LinkProc(HWND label, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self) {
  const auto opens = [](WPARAM key) { return key == VK_RETURN || key == VK_SPACE; };
  switch (message) {
    case WM_NCDESTROY:
      return EndSubclass(label, LinkProc, id, wparam, lparam);
    case WM_GETDLGCODE: {
      // Enter would otherwise be the dialog's default button, which closes the window.
      const auto* key = reinterpret_cast<const MSG*>(lparam);
      const LRESULT code = DefSubclassProc(label, message, wparam, lparam);
      return key != nullptr && key->message == WM_KEYDOWN && opens(key->wParam)
                 ? code | DLGC_WANTMESSAGE
                 : code;
    }
    case WM_KEYDOWN:
      if (opens(wparam)) {
        reinterpret_cast<const AboutWindow*>(self)->OpenLink(label);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(label, nullptr, TRUE);
      break;
    case WM_PAINT: {
      const LRESULT painted = DefSubclassProc(label, message, wparam, lparam);
      if (GetFocus() == label) {
        RECT text{};
        GetClientRect(label, &text);
        const std::wstring caption = Wide(WindowTextOf(label));
        HDC dc = GetDC(label);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        DrawFocusRect(dc, &text);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
      }
      return painted;
    }
    default:
      break;
  }
  return DefSubclassProc(label, message, wparam, lparam);
}

// Both ways of closing end here. The main window is given back first, so that it, not some
// other program, becomes active when this window goes.
void AboutWindow::OnClose() {
  EnableWindow(owner_, TRUE);
  DestroyWindow(window_);
}

LRESULT AboutWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      // Enter and Escape come from the dialog navigation as the standard OK and Cancel.
      if (lparam == 0 && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        OnClose();
        return 0;
      }
      const PlacedControl* placed = controls_.Find(reinterpret_cast<HWND>(lparam));
      if (placed == nullptr) break;
      if (placed->row->kind == ControlKind::kButton && HIWORD(wparam) == BN_CLICKED) {
        OnClose();
      } else if (!placed->row->link.empty() && HIWORD(wparam) == STN_CLICKED) {
        open_address_(window_, std::string(placed->row->link));
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      const PlacedControl* placed = controls_.Find(reinterpret_cast<HWND>(lparam));
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetBkMode(dc, TRANSPARENT);
      if (placed != nullptr && placed->row->colour) {
        SetTextColor(dc, ColourRef(*placed->row->colour));
      }
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (const PlacedControl* placed = controls_.Find(item->hwndItem);
          placed != nullptr && placed->row->kind == ControlKind::kPicture) {
        DrawPicture(*item);
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return TopLevelWindow::Handle(message, wparam, lparam);
}

}  // namespace talvex::ui::win32
