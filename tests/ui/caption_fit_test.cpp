// Every caption of both windows fits its control, measured with the font the control really has
// at 96, 120 and 144 DPI: a clipped caption ("Copy in TV automatic…") fails, naming the control.
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/utf.h"
#include "support/test_support.h"
#include "ui/control_table.h"
#include "ui/win32/about_window.h"
#include "ui/win32/drive_box.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_ui.h"
#include "ui_test_support.h"

namespace talvex::testing {
namespace {

using ui::ControlKind;
using ui::ControlRow;

constexpr UINT kDpis[] = {96, 120, 144};

// What one caption needs and what its control gives it, in pixels.
struct Fit {
  std::string control;
  int needed = 0;
  int available = 0;
  std::string what;  // "width", "height", or "top" (ink above the control)
  std::wstring face;
};

std::string Describe(const Fit& fit) {
  return fit.control + ": " + fit.what + " " + std::to_string(fit.needed) + " px needed, " +
         std::to_string(fit.available) + " px there (" + platform::WideToUtf8(fit.face) + ")";
}

// A device context of the control with the control's own font selected.
class ControlDc {
 public:
  explicit ControlDc(HWND control)
      : control_(control),
        dc_(GetDC(control)),
        old_(SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)))) {
    GetTextMetricsW(dc_, &metrics_);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc_, LF_FACESIZE, face);
    face_ = face;
  }
  ~ControlDc() {
    SelectObject(dc_, old_);
    ReleaseDC(control_, dc_);
  }
  ControlDc(const ControlDc&) = delete;
  ControlDc& operator=(const ControlDc&) = delete;

  int Width(const std::wstring& text) const {
    SIZE extent{};
    GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
    return extent.cx;
  }
  // The height the text takes when wrapped at `width`, as a static control wraps it.
  int WrappedHeight(const std::wstring& text, int width) const {
    RECT rect{0, 0, width, 0};
    DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    return rect.bottom;
  }
  // The rows that the glyphs of one line of `text` really ink, drawn with its top at 0: a line's
  // cell has room above and below its glyphs, and only ink that falls outside the control is
  // lost.
  std::pair<int, int> InkRows(const std::wstring& text) const {
    const int width = Width(text) + metrics_.tmMaxCharWidth;
    const int height = 2 * metrics_.tmHeight;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(dc_);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    HGDIOBJ old_font = SelectObject(memory, GetCurrentObject(dc_, OBJ_FONT));
    RECT all{0, 0, width, height};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(memory, RGB(0, 0, 0));
    SetBkMode(memory, TRANSPARENT);
    TextOutW(memory, 0, 0, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    int top = height, bottom = 0;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if ((pixels[y * width + x] & 0xFFFFFF) != 0xFFFFFF) {
          top = std::min(top, y);
          bottom = std::max(bottom, y + 1);
        }
      }
    }
    SelectObject(memory, old_font);
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return {top, bottom};
  }
  const TEXTMETRICW& metrics() const { return metrics_; }
  const std::wstring& face() const { return face_; }

 private:
  HWND control_;
  HDC dc_;
  HGDIOBJ old_;
  TEXTMETRICW metrics_{};
  std::wstring face_;
};

// The captions of the controls of one window that do not fit; `dpi` scales the fixed parts of
// a control's look (a check box's box, a button's edges).
std::vector<Fit> CaptionsThatDoNotFit(
    const std::vector<std::pair<const ControlRow*, HWND>>& controls, UINT dpi) {
  const int d = static_cast<int>(dpi);
  std::vector<Fit> misfits;
  for (const auto& [row, control] : controls) {
    const std::wstring caption = ui::win32::Wide(ui::CaptionOf(*row));
    if (caption.empty() || row->kind == ControlKind::kTextBox) continue;
    RECT client{};
    GetClientRect(control, &client);
    const ControlDc dc(control);
    const int line = dc.metrics().tmHeight;
    // Check boxes and buttons centre their line; frames and labels draw it from their top.
    const bool centred = row->kind == ControlKind::kCheckBox || row->kind == ControlKind::kButton;
    const int line_top = centred ? (client.bottom - line) / 2 : 0;
    const auto [ink_top, ink_bottom] = dc.InkRows(caption);
    Fit width{std::string(row->name), dc.Width(caption), client.right, "width", dc.face()};
    Fit height{std::string(row->name), line_top + ink_bottom, client.bottom, "height", dc.face()};
    if (line_top + ink_top < 0)
      misfits.push_back({height.control, -(line_top + ink_top), 0, "top", dc.face()});
    switch (row->kind) {
      case ControlKind::kCheckBox:
        // The text starts after the box (13 px at 96 DPI) and a gap of half a digit.
        width.needed += MulDiv(13, d, 96) + dc.Width(L"0") / 2;
        break;
      case ControlKind::kButton:
        // The edges and the focus rectangle take a few pixels on either side.
        width.needed += 2 * MulDiv(4, d, 96);
        break;
      case ControlKind::kFrame:
        // The caption sits in the top border, indented by an average character on either side.
        width.needed += 2 * dc.metrics().tmAveCharWidth + 2;
        break;
      case ControlKind::kLabel:
        if (client.bottom >= 2 * line) {  // a label of several lines wraps what it shows
          width.needed = 0;
          height.needed =
              dc.WrappedHeight(ui::win32::Wide(ui::win32::WindowTextOf(control)), client.right);
        }
        break;
      default:
        break;
    }
    if (width.needed > width.available) misfits.push_back(width);
    if (height.needed > height.available) misfits.push_back(height);
  }
  return misfits;
}

// Shows `window` as at `dpi`, as the system does when the window moves to such a screen.
void ChangeDpi(HWND window, UINT dpi, const ui::WindowSpec& window_spec) {
  RECT outer{};
  GetWindowRect(window, &outer);
  const SIZE size =
      ui::win32::OuterSize(window_spec, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)),
                           static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)), dpi);
  RECT suggested{outer.left, outer.top, outer.left + size.cx, outer.top + size.cy};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  Pump();
}

class CaptionFitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }

  void SetUp() override {
    window_ = ui::win32::MainWindow::Create(RecordingServices(recorder_, kit_.path()));
    ASSERT_NE(window_, nullptr);
    main_ = window_->handle();
    Pump();
  }
  void TearDown() override {
    if (HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr)) DestroyWindow(about);
    if (IsWindow(main_)) DestroyWindow(main_);
    Pump();
  }

  KitDir kit_;
  Recorder recorder_;
  ui::win32::MainWindow* window_ = nullptr;
  HWND main_ = nullptr;
};

// The controls that reach into their frame's border (two pixels at every DPI), which the frame
// draws under them.
std::vector<std::string> ControlsOverTheirFrames(const ui::win32::MainWindow& window) {
  std::vector<std::string> over;
  for (const ControlRow& row : ui::kMainControls) {
    const ControlRow* frame = ui::FindControl(ui::kMainControls, row.container);
    if (frame == nullptr || frame->kind != ControlKind::kFrame) continue;
    RECT inside{};
    GetClientRect(window.Control(frame->name), &inside);
    InflateRect(&inside, -2, -2);
    RECT place = RectInParent(window.Control(row.name));
    if (row.kind == ControlKind::kDriveList) place.bottom = place.top + 1;  // its list drops out
    RECT both{};
    IntersectRect(&both, &place, &inside);
    if (!EqualRect(&both, &place))
      over.push_back(std::string(row.name) + " in " + std::string(frame->name));
  }
  return over;
}

TEST_F(CaptionFitTest, EveryMainWindowCaptionFitsItsControlAndEveryFrameIsWholeAtEachDpi) {
  std::vector<std::pair<const ControlRow*, HWND>> controls;
  for (const ControlRow& row : ui::kMainControls)
    controls.emplace_back(&row, window_->Control(row.name));
  for (UINT dpi : kDpis) {
    ChangeDpi(main_, dpi, ui::kMainWindow);
    for (const Fit& misfit : CaptionsThatDoNotFit(controls, dpi)) {
      ADD_FAILURE() << "at " << dpi << " DPI " << Describe(misfit);
    }
    EXPECT_EQ(ControlsOverTheirFrames(*window_), std::vector<std::string>{}) << dpi << " DPI";
  }
}

TEST_F(CaptionFitTest, EveryAboutWindowCaptionFitsItsControlAtEachDpi) {
  Click(window_->Control("Command1"));
  HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr);
  ASSERT_NE(about, nullptr);
  ui::win32::AboutWindow* window = ui::win32::AboutWindow::FromHandle(about);
  std::vector<std::pair<const ControlRow*, HWND>> controls;
  for (const ControlRow& row : ui::kAboutControls)
    controls.emplace_back(&row, window->Control(row.name));
  for (UINT dpi : kDpis) {
    ChangeDpi(about, dpi, ui::kAboutWindow);
    for (const Fit& misfit : CaptionsThatDoNotFit(controls, dpi)) {
      ADD_FAILURE() << "at " << dpi << " DPI " << Describe(misfit);
    }
  }
}

// The closed drive list keeps its width from the layout and may cut a long entry; the open list
// shows every entry whole.
TEST(DriveListTest, TheOpenListIsWideEnoughForTheLongestEntryAtEachDpi) {
  KitDir kit;
  Recorder recorder;
  ui::win32::UiServices services = RecordingServices(recorder, kit.path());
  const std::vector<std::wstring> entries = {L"c:", L"t: [TV STICK 16GB]",
                                             L"z: [\\\\media-server\\films]"};
  services.list_drives = [&entries] {
    std::vector<std::string> texts;
    for (const std::wstring& entry : entries) texts.push_back(platform::WideToUtf8(entry));
    return texts;
  };
  ui::win32::MainWindow* window = ui::win32::MainWindow::Create(std::move(services));
  ASSERT_NE(window, nullptr);
  HWND list = window->Control("Drive1");
  for (UINT dpi : kDpis) {
    ChangeDpi(window->handle(), dpi, ui::kMainWindow);
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    Pump();
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetComboBoxInfo(list, &info));
    RECT open{};
    GetClientRect(info.hwndList, &open);
    const ControlDc dc(list);
    for (const std::wstring& entry : entries) {
      // An entry is drawn a few pixels in from the list's edge.
      EXPECT_GE(open.right, dc.Width(entry) + MulDiv(4, static_cast<int>(dpi), 96))
          << platform::WideToUtf8(entry) << " at " << dpi << " DPI";
    }
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    Pump();
    // The list draws its closed box itself, no higher or lower than one the system draws.
    HWND plain = CreateWindowExW(0, WC_COMBOBOXW, nullptr, WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100,
                                 100, GetParent(list), nullptr, nullptr, nullptr);
    SendMessageW(plain, WM_SETFONT, SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
    RECT drawn{};
    RECT usual{};
    GetWindowRect(list, &drawn);
    GetWindowRect(plain, &usual);
    EXPECT_EQ(drawn.bottom - drawn.top, usual.bottom - usual.top) << dpi << " DPI";
    DestroyWindow(plain);
  }
  DestroyWindow(window->handle());
  Pump();
}

// A closed drive box too narrow for its entry keeps the letter and cuts the label at its end.
TEST(DriveListTest, ALongEntryKeepsItsLetterAndIsCutAtTheEndOfItsLabel) {
  const auto characters = [](std::wstring_view text) { return static_cast<int>(text.size()); };
  struct Case {
    std::wstring_view entry;
    int width;
    std::wstring_view shown;
  };
  for (const Case& c : {
           Case{L"c: [Windows]", 12, L"c: [Windows]"},
           Case{L"c: [Windows]", 9, L"c: [Win\u2026]"},
           Case{L"x: [КИНГСТОН]", 8, L"x: [КИ\u2026]"},
           Case{L"x: [KINGSTON]", 3, L"x: [\u2026]"},
           Case{L"x:", 1, L"x:"},
           Case{L"", 0, L""},
       }) {
    EXPECT_EQ(ui::win32::FitDriveEntry(c.entry, c.width, characters), c.shown)
        << platform::WideToUtf8(std::wstring(c.entry)) << " in " << c.width;
  }
}

// The title's label is two lines high: the product name stays whole on the second line, however
// wide the face, and nothing wraps onto a third.
TEST_F(CaptionFitTest, AboutTitleKeepsTheProductNameWholeOnItsSecondLine) {
  Click(window_->Control("Command1"));
  HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr);
  ASSERT_NE(about, nullptr);
  HWND title = ui::win32::AboutWindow::FromHandle(about)->Control("Label4");
  const std::wstring product = L"Talvex All Extensions.";
  for (UINT dpi : kDpis) {
    ChangeDpi(about, dpi, ui::kAboutWindow);
    const std::wstring shown = TextOf(title);
    RECT client{};
    GetClientRect(title, &client);
    const ControlDc dc(title);
    const int line = dc.metrics().tmHeight;
    EXPECT_EQ(dc.WrappedHeight(shown, client.right), 2 * line) << dpi << " DPI";
    EXPECT_EQ(dc.WrappedHeight(product, client.right), line) << dpi << " DPI";
    ASSERT_TRUE(shown.ends_with(product)) << dpi << " DPI";
    const std::wstring first = shown.substr(0, shown.size() - product.size());
    if (first.ends_with(L"\r\n")) {
      EXPECT_EQ(first, L"Автоматическая настройка\r\n") << dpi << " DPI";
    } else {
      // Wrapped as written: "Talvex" cannot be on the first line, so the whole name is on the
      // second.
      EXPECT_EQ(shown, L"Автоматическая настройка      Talvex All Extensions.");
      EXPECT_GT(dc.Width(L"Автоматическая настройка      Talvex"), client.right) << dpi << " DPI";
    }
  }
}

}  // namespace
}  // namespace talvex::testing
