#include "ui_test_support.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/win32/utf.h"

namespace talvex::testing {

ui::win32::UiServices RecordingServices(Recorder& recorder, std::string source_root) {
  ui::win32::UiServices services = ui::win32::DefaultUiServices();
  services.source_root = std::move(source_root);
  services.start_program = [&recorder](const std::string& command_line, int show) {
    recorder.programs.emplace_back(command_line, show);
  };
  services.load_keyboard_layout = [&recorder](const std::wstring& layout, UINT flags) {
    recorder.layouts.emplace_back(layout, flags);
  };
  services.open_address = [&recorder](HWND window, const std::string& address) {
    recorder.addresses.emplace_back(window, address);
  };
  services.message_box = [&recorder](HWND owner, const std::wstring& text,
                                     const std::wstring& title, UINT style) {
    const int answer = MessageBoxW(owner, text.c_str(), title.c_str(), style);
    recorder.boxes.push_back({text, title, style, answer});
    return answer;
  };
  services.main_window_closed = [&recorder] { ++recorder.windows_closed; };
  return services;
}

namespace {
HHOOK g_hook = nullptr;
int g_answer = 0;
int g_answered = 0;
int g_default_button = 0;
std::function<void(HWND)> g_first;

HWND g_box = nullptr;

// Runs inside the box's own message loop, once the box has set itself up.
void CALLBACK AnswerLater(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND box = g_box;
  if (box == nullptr || !IsWindow(box)) return;
  g_default_button = 0;
  for (int button : {IDYES, IDNO, IDOK, IDCANCEL}) {
    HWND handle = GetDlgItem(box, button);
    if (handle != nullptr &&
        (GetWindowLongW(handle, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      g_default_button = button;
    }
  }
  if (g_first) g_first(box);
  const int answer = GetDlgItem(box, g_answer) != nullptr ? g_answer : IDOK;
  ++g_answered;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
}

LRESULT CALLBACK AnswerBox(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    wchar_t class_name[16] = {};
    GetClassNameW(box, class_name, 16);
    // A box is answered once: it is activated again when a window shown over it goes.
    if (std::wstring_view(class_name) == L"#32770" && box != g_box) {
      g_box = box;
      SetTimer(nullptr, 0, 20, AnswerLater);
    }
  }
  return CallNextHookEx(g_hook, code, wparam, lparam);
}
}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(int answer, std::function<void(HWND box)> first) {
  g_answer = answer;
  g_first = std::move(first);
  g_answered = 0;
  g_box = nullptr;
  g_default_button = 0;
  g_hook = SetWindowsHookExW(WH_CBT, AnswerBox, nullptr, GetCurrentThreadId());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
  g_first = nullptr;
}

int MessageBoxAnswerer::answered() const {
  return g_answered;
}
int MessageBoxAnswerer::default_button() const {
  return g_default_button;
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Click(HWND button) {
  SendMessageW(button, BM_CLICK, 0, 0);
}

void MouseClick(HWND control) {
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

void Type(HWND control, std::wstring_view characters) {
  for (wchar_t character : characters) SendMessageW(control, WM_CHAR, character, 1);
}

void PressTab(HWND window) {
  MSG message{GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {}};
  IsDialogMessageW(window, &message);
  message.message = WM_KEYUP;
  IsDialogMessageW(window, &message);
}

void ChooseInList(HWND list, std::wstring_view entry_prefix) {
  const std::wstring prefix(entry_prefix);
  const LRESULT index = SendMessageW(list, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(prefix.c_str()));
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
}

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool IsChecked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT RectInParent(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void PutOnClipboard(HWND owner, std::wstring_view text) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    auto* target = static_cast<wchar_t*>(GlobalLock(memory));
    text.copy(target, text.size());
    target[text.size()] = L'\0';
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
  }
  CloseClipboard();
}

namespace {

std::uint32_t Crc32(const std::string& bytes, std::size_t from) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> made{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      made[n] = c;
    }
    return made;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    crc = table[(crc ^ static_cast<unsigned char>(bytes[i])) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBigEndian(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png += type;
  png += data;
  PutBigEndian(png, Crc32(png, start));
}

// A PNG of RGB rows, compressed with stored deflate blocks: larger than it could be, but
// needs no compressor.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(rgb.data()) + static_cast<std::size_t>(y) * width * 3,
               static_cast<std::size_t>(width) * 3);
  }
  std::string zlib = "\x78\x01";
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t offset = 0; offset < raw.size(); offset += 65535) {
    const std::size_t length = std::min<std::size_t>(65535, raw.size() - offset);
    zlib += static_cast<char>(offset + length == raw.size() ? 1 : 0);
    zlib += static_cast<char>(length & 0xFF);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xFF);
    zlib += static_cast<char>((~length >> 8) & 0xFF);
    zlib.append(raw, offset, length);
  }
  PutBigEndian(zlib, (b << 16) | a);

  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, truecolour
  std::string png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace

bool SaveScreenshot(HWND window, const std::string& png_path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied =
      BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
  GdiFlush();
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  const auto* bgrx = static_cast<const std::uint8_t*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    rgb[i * 3] = bgrx[i * 4 + 2];
    rgb[i * 3 + 1] = bgrx[i * 4 + 1];
    rgb[i * 3 + 2] = bgrx[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) return false;
  std::filesystem::create_directories(std::filesystem::path(png_path).parent_path());
  std::ofstream out(png_path, std::ios::binary | std::ios::trunc);
  const std::string png = EncodePng(width, height, rgb);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

PaintWatcher::PaintWatcher(HWND window) : window_(window), thread_([this] { Watch(); }) {}

void PaintWatcher::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void PaintWatcher::Watch() {
  using Clock = std::chrono::steady_clock;
  while (!stop_) {
    const Clock::time_point sent = Clock::now();
    DWORD_PTR ignored = 0;
    // Bounded: Stop() is called from the window's thread, which answers nothing while it waits.
    SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored);
    if (stop_) break;
    longest_answer_ = std::max(longest_answer_, Clock::now() - sent);
    InvalidateRect(window_, nullptr, FALSE);
    const Clock::time_point asked = Clock::now();
    ++requests_;
    while (!stop_ && GetUpdateRect(window_, nullptr, FALSE)) Sleep(2);
    if (!stop_) longest_wait_ = std::max(longest_wait_, Clock::now() - asked);
    Sleep(20);
  }
}

ui::win32::MainWindow* OpenMainWindowOnDrive(Recorder& recorder, const std::string& source_root,
                                             const std::string& drive) {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ui::win32::MainWindow* window =
      ui::win32::MainWindow::Create(RecordingServices(recorder, source_root));
  if (window == nullptr) return nullptr;
  Pump();
  ChooseInList(window->Control("Drive1"), platform::Utf8ToWide(drive));
  return window;
}

}  // namespace talvex::testing
