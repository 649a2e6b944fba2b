// The main window, created in this process and driven by messages as the user would drive it.
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "engine/run_build.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo_kit.h"
#include "platform/win32/utf.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"
#include "ui/control_table.h"
#include "ui/win32/about_window.h"
#include "ui/win32/main_window.h"
#include "ui/win32/progress_window.h"
#include "ui/win32/report_box.h"
#include "ui/win32/subclass.h"
#include "ui_test_support.h"

namespace talvex::testing {
namespace {

using ui::win32::AboutWindow;
using ui::win32::MainWindow;
using ui::win32::ProgressWindow;

class WindowEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const INITCOMMONCONTROLSEX controls{
        sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Keeps the pointer off the windows, so that no tooltip covers them.
    SetCursorPos(0, 0);
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string root = source_root_.empty() ? kit_.path() : source_root_;
    MakeFile(Join(root, "Talvex\\etc\\rc.sysinit"),
             "#!/bin/sh\n");  // a kit, as far as the window asks
    ui::win32::UiServices services = RecordingServices(recorder_, root);
    if (file_system_ != nullptr) services.file_system = file_system_;
    window_ = MainWindow::Create(std::move(services));
    ASSERT_NE(window_, nullptr);
    main_ = window_->handle();
    Pump();
  }

  void TearDown() override {
    if (HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr)) DestroyWindow(about);
    if (IsWindow(main_)) DestroyWindow(main_);
    Pump();
  }

  HWND Get(std::string_view name) const {
    HWND control = window_->Control(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  // Every control's enabled state and every check box's state and text box's text.
  std::vector<std::string> Snapshot() const {
    std::vector<std::string> states;
    for (const ui::ControlRow& row : ui::kMainControls) {
      HWND control = window_->Control(row.name);
      std::string state = std::string(row.name) + (IsWindowEnabled(control) ? " on" : " off");
      if (row.kind == ui::ControlKind::kCheckBox) state += IsChecked(control) ? " [x]" : " [ ]";
      if (row.kind == ui::ControlKind::kTextBox || row.kind == ui::ControlKind::kDriveList) {
        state += " " + platform::WideToUtf8(TextOf(control));
      }
      states.push_back(state);
    }
    return states;
  }

  TempDir kit_;
  Recorder recorder_;
  platform::FileSystem* file_system_ = nullptr;  // the real one unless a test sets it
  std::string source_root_;                      // the demo kit unless a test sets it
  MainWindow* window_ = nullptr;
  HWND main_ = nullptr;
};

TEST_F(MainWindowTest, StartsWithTheInitialOptionsAndTheFocusOnTheDriveList) {
  EXPECT_EQ(TextOf(main_), L"Talvex - Auto");
  std::vector<std::string_view> ticked;
  for (const ui::ControlRow& row : ui::kMainControls) {
    if (row.kind == ui::ControlKind::kCheckBox && IsChecked(Get(row.name)))
      ticked.push_back(row.name);
    EXPECT_EQ(IsWindowEnabled(Get(row.name)) != FALSE, row.name != "Chavto") << row.name;
  }
  EXPECT_EQ(ticked, (std::vector<std::string_view>{"Chupnp", "Chsmb", "ChNfs"}));
  EXPECT_EQ(TextOf(Get("TextIP")), L"192.168.0.1");
  EXPECT_EQ(TextOf(Get("TexSMBsh")), L"");
  EXPECT_EQ(TextOf(Get("TexSMBpas")), L"vortelin");
  EXPECT_EQ(GetFocus(), Get("Drive1"));
  EXPECT_NE(GetClassLongPtrW(main_, GCLP_HICON), 0u);  // the television, from the resources

  // Fixed border with a close box only, client area 433 x 329 at 96 DPI, centred on the screen.
  const LONG style = GetWindowLongW(main_, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(style & WS_SYSMENU, 0);
  const int dpi = static_cast<int>(ui::win32::DpiOf(main_));
  RECT client;
  GetClientRect(main_, &client);
  EXPECT_EQ(client.right, ui::TwipsToPixels(ui::kMainWindow.client_width, dpi));
  EXPECT_EQ(client.bottom, ui::TwipsToPixels(ui::kMainWindow.client_height, dpi));
  RECT outer, work;
  GetWindowRect(main_, &outer);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR((outer.left + outer.right) / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, (work.top + work.bottom) / 2, 1);
}

TEST_F(MainWindowTest, ControlsSitInTheirFramesAtTheTablesPlaces) {
  const int dpi = static_cast<int>(ui::win32::DpiOf(main_));
  for (const ui::ControlRow& row : ui::kMainControls) {
    HWND control = Get(row.name);
    HWND expected_parent = row.container.empty() ? main_ : Get(row.container);
    EXPECT_EQ(GetParent(control), expected_parent) << row.name;
    const RECT rect = RectInParent(control);
    EXPECT_EQ(rect.left, ui::TwipsToPixels(row.left, dpi)) << row.name;
    EXPECT_EQ(rect.top, ui::TwipsToPixels(row.top, dpi)) << row.name;
    // A control that would reach into its frame's two-pixel border stops short of it.
    RECT room{0, 0, rect.right + 2, rect.bottom + 2};
    const ui::ControlRow* frame = ui::FindControl(ui::kMainControls, row.container);
    if (frame != nullptr && frame->kind == ui::ControlKind::kFrame) {
      GetClientRect(expected_parent, &room);
    }
    EXPECT_EQ(rect.right, std::min(static_cast<LONG>(ui::TwipsToPixels(row.left, dpi) +
                                                     ui::TwipsToPixels(row.width, dpi)),
                                   room.right - 2))
        << row.name;
    if (row.kind != ui::ControlKind::kDriveList) {
      EXPECT_EQ(rect.bottom, std::min(static_cast<LONG>(ui::TwipsToPixels(row.top, dpi) +
                                                        ui::TwipsToPixels(row.height, dpi)),
                                      room.bottom - 2))
          << row.name;
    }
  }
  EXPECT_EQ(TextOf(Get("CommanEND")), L"GO");
  EXPECT_EQ(TextOf(Get("Chsmb")), L"SMB");
  EXPECT_EQ(TextOf(Get("FrSMB")), L"Network settings SMB");
}

TEST_F(MainWindowTest, TabVisitsTheControlsInOrderAndSkipsDisabledOnes) {
  std::vector<std::string_view> expected;
  for (std::string_view name : ui::kMainTabOrder) {
    if (name != "Chavto") expected.push_back(name);
  }
  std::vector<std::string_view> visited;
  for (std::size_t step = 0; step < expected.size(); ++step) {
    HWND focus = GetFocus();
    for (std::string_view name : ui::kMainTabOrder) {
      if (window_->Control(name) == focus) visited.push_back(name);
    }
    PressTab(main_);
  }
  EXPECT_EQ(visited, expected);

  Click(Get("Chsmb"));  // the SMB frame's four fields drop out of the order
  SetFocus(Get("Chsmb"));
  PressTab(main_);
  EXPECT_EQ(GetFocus(), Get("ChNfs"));
}

TEST_F(MainWindowTest, CouplingRulesFollowClicks) {
  Click(Get("arFix2cip"));
  Click(Get("arFix2"));
  EXPECT_TRUE(IsChecked(Get("arFix2")));
  EXPECT_FALSE(IsChecked(Get("arFix2cip")));
  Click(Get("arFix2cip"));
  EXPECT_FALSE(IsChecked(Get("arFix2")));
  EXPECT_TRUE(IsChecked(Get("arFix2cip")));

  Click(Get("Chcopi"));
  EXPECT_TRUE(IsWindowEnabled(Get("Chavto")));
  Click(Get("Chavto"));
  EXPECT_TRUE(IsChecked(Get("Chavto")));
  Click(Get("Chcopi"));
  EXPECT_FALSE(IsChecked(Get("Chavto")));
  EXPECT_FALSE(IsWindowEnabled(Get("Chavto")));
  Click(Get("Chcopi"));
  EXPECT_TRUE(IsWindowEnabled(Get("Chavto")));
  EXPECT_FALSE(IsChecked(Get("Chavto")));

  // Other boxes change only themselves.
  const std::vector<std::string> before = Snapshot();
  Click(Get("Chwifi"));
  const std::vector<std::string> after = Snapshot();
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (ui::kMainControls[i].name != "Chwifi") {
      EXPECT_EQ(before[i], after[i]);
    }
  }
  EXPECT_EQ(window_->model().options().Chwifi, options::CheckState::kChecked);
}

TEST_F(MainWindowTest, SettingsFramesDisableEverythingInsideAndGiveItBackUnchanged) {
  Type(Get("TexSMBsh"), L"films");
  const std::vector<std::string> before = Snapshot();
  Click(Get("Chsmb"));
  for (std::string_view name : {"FrSMB", "Label10", "TexSMBip", "Label11", "TexSMBsh", "Label8",
                                "TexSMBlog", "Label9", "TexSMBpas"}) {
    EXPECT_FALSE(IsWindowEnabled(Get(name))) << name;
  }
  EXPECT_TRUE(IsWindowEnabled(Get("FrSet")));
  Click(Get("ChNfs"));
  for (std::string_view name : {"FrSet", "Label6", "TextIP", "CheckUDP"}) {
    EXPECT_FALSE(IsWindowEnabled(Get(name))) << name;
  }
  Click(Get("Chsmb"));
  Click(Get("ChNfs"));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(TextOf(Get("TexSMBsh")), L"films");
  EXPECT_EQ(window_->model().options().TexSMBsh, "films");
}

TEST_F(MainWindowTest, AddressFieldsTakeOnlyWhatTheKeyFilterLetsThrough) {
  HWND address = Get("TextIP");
  SetWindowTextW(address, L"");
  Type(address, L"1a9.2 ,Ж");
  EXPECT_EQ(TextOf(address), L"19.2 ");
  Type(address, L"\b\b");
  EXPECT_EQ(TextOf(address), L"19.");
  EXPECT_EQ(window_->model().options().TextIP, "19.");

  // Pasting cannot bring in what typing could not.
  HWND smb_address = Get("TexSMBip");
  SetWindowTextW(smb_address, L"");
  PutOnClipboard(main_, L"10.0.x0.5, Ж");
  SendMessageW(smb_address, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(smb_address), L"10.0.0.5 ");
  EXPECT_EQ(window_->model().options().TexSMBip, "10.0.0.5 ");

  // The other fields take anything.
  HWND login = Get("TexSMBlog");
  SetWindowTextW(login, L"");
  Type(login, L"Ваня_1");
  SendMessageW(login, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(login), L"Ваня_110.0.x0.5, Ж");
  EXPECT_EQ(window_->model().options().TexSMBlog, "Ваня_110.0.x0.5, Ж");
}

TEST_F(MainWindowTest, ClickingIntoAnAccountFieldSwitchesToUsEnglishButTabbingDoesNot) {
  MouseClick(Get("TexSMBip"));
  MouseClick(Get("TextIP"));
  EXPECT_TRUE(recorder_.layouts.empty());
  SetFocus(Get("TexSMBip"));
  PressTab(main_);
  ASSERT_EQ(GetFocus(), Get("TexSMBsh"));
  EXPECT_TRUE(recorder_.layouts.empty());

  MouseClick(Get("TexSMBsh"));
  MouseClick(Get("TexSMBlog"));
  MouseClick(Get("TexSMBpas"));
  MouseClick(Get("TexSMBpas"));
  ASSERT_EQ(recorder_.layouts.size(), 4u);
  for (const auto& [layout, flags] : recorder_.layouts) {
    EXPECT_EQ(layout, L"00000409");
    EXPECT_EQ(flags, static_cast<UINT>(KLF_ACTIVATE));
  }
  EXPECT_EQ(TextOf(Get("TexSMBpas")), L"vortelin");  // a click neither selects nor clears
}

TEST_F(MainWindowTest, DescriptionOpensTheReadmeInNotepad) {
  Click(Get("CmdReadme"));
  ASSERT_EQ(recorder_.programs.size(), 1u);
  EXPECT_EQ(recorder_.programs[0].first, "notepad.exe " + kit_.path() + "\\Talvex\\readme.txt");
  EXPECT_EQ(recorder_.programs[0].second, 1);
}

TEST_F(MainWindowTest, EverySubclassComesOffWithItsControl) {
  // The text boxes (for their key filter) and the drive list (for its closed box's tooltip).
  const auto subclassed = std::count_if(
      ui::kMainControls.begin(), ui::kMainControls.end(), [](const ui::ControlRow& row) {
        return row.kind == ui::ControlKind::kTextBox || row.kind == ui::ControlKind::kDriveList;
      });
  const std::ptrdiff_t on = ui::win32::SubclassesOn();
  ASSERT_GE(on, subclassed);
  DestroyWindow(main_);
  Pump();
  EXPECT_EQ(ui::win32::SubclassesOn(), on - subclassed);
}

TEST_F(MainWindowTest, DriveListShowsTheLogicalDrivesStartingOnTheTestStick) {
  HWND list = Get("Drive1");
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  ASSERT_GT(count, 0);
  const std::vector<std::string> expected = ui::win32::LogicalDriveEntries();
  ASSERT_EQ(static_cast<std::size_t>(count), expected.size());
  for (int index = 0; index < count; ++index) {
    std::wstring entry(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)),
                       L'\0');
    SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry.data()));
    EXPECT_EQ(platform::WideToUtf8(entry), expected[static_cast<std::size_t>(index)]);
    ASSERT_GE(entry.size(), 2u);
    EXPECT_TRUE(entry[0] >= L'a' && entry[0] <= L'z') << platform::WideToUtf8(entry);
    EXPECT_EQ(entry[1], L':');
  }
  EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](const std::string& entry) {
    return entry == "c:" || entry.rfind("c: [", 0) == 0;
  }));
  // The test runner maps its drive as the first removable one, and the kit lies elsewhere: the
  // list starts there, not on the current drive.
  if (const char* stick = std::getenv("TALVEX_TEST_DRIVE"); stick != nullptr && *stick != '\0') {
    EXPECT_EQ(TextOf(list)[0], static_cast<wchar_t>(stick[0]));
  }

  // Choosing another drive changes the drive and nothing else.
  const std::vector<std::string> before = Snapshot();
  SendMessageW(list, CB_SETCURSEL, 0, 0);
  SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(window_->model().options().Drive1, expected[0]);
  const std::vector<std::string> after = Snapshot();
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (ui::kMainControls[i].name != "Drive1") {
      EXPECT_EQ(before[i], after[i]);
    }
  }
}

TEST_F(MainWindowTest, LayoutFollowsANewDpi) {
  RECT outer;
  GetWindowRect(main_, &outer);
  RECT suggested{outer.left, outer.top, outer.left + 700, outer.top + 560};
  SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  for (std::string_view name : {"CommanEND", "TexSMBpas", "FrSet", "CheckUDP"}) {
    const ui::ControlRow& row = *ui::FindControl(ui::kMainControls, name);
    const RECT rect = RectInParent(Get(name));
    EXPECT_EQ(rect.left, ui::TwipsToPixels(row.left, 144)) << name;
    EXPECT_EQ(rect.top, ui::TwipsToPixels(row.top, 144)) << name;
    EXPECT_EQ(rect.right - rect.left, ui::TwipsToPixels(row.width, 144)) << name;
    EXPECT_EQ(rect.bottom - rect.top, ui::TwipsToPixels(row.height, 144)) << name;
  }
  LOGFONTW go_font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Get("CommanEND"), WM_GETFONT, 0, 0)),
             sizeof(go_font), &go_font);
  EXPECT_EQ(go_font.lfHeight, -ui::FontPixels(1125, 144));
  EXPECT_EQ(go_font.lfWeight, FW_BOLD);
  EXPECT_EQ(std::wstring(go_font.lfFaceName), L"Arial");
}

TEST_F(MainWindowTest, AboutDisablesTheMainWindowUntilEitherWayOfClosingIt) {
  for (bool by_close_box : {false, true}) {
    Click(Get("Command1"));
    HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_FALSE(IsWindowEnabled(main_));
    EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
    AboutWindow* window = AboutWindow::FromHandle(about);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(about), L"О программе");
    const int dpi = static_cast<int>(ui::win32::DpiOf(about));
    RECT client, outer, owner;
    GetClientRect(about, &client);
    EXPECT_EQ(client.right, ui::TwipsToPixels(ui::kAboutWindow.client_width, dpi));
    EXPECT_EQ(client.bottom, ui::TwipsToPixels(ui::kAboutWindow.client_height, dpi));
    GetWindowRect(about, &outer);
    GetWindowRect(main_, &owner);
    EXPECT_NEAR((outer.left + outer.right) / 2, (owner.left + owner.right) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, (owner.top + owner.bottom) / 2, 1);
    EXPECT_EQ(GetWindowLongW(about, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              0);
    for (const ui::ControlRow& row : ui::kAboutControls) {
      const RECT rect = RectInParent(window->Control(row.name));
      EXPECT_EQ(rect.left, ui::TwipsToPixels(row.left, dpi)) << row.name;
      EXPECT_EQ(rect.top, ui::TwipsToPixels(row.top, dpi)) << row.name;
    }
    EXPECT_EQ(TextOf(window->Control("Command1")), L"Спасибо!");

    // Links hand their address to the system and leave everything as it was, every time.
    MouseClick(window->Control("Label9"));
    MouseClick(window->Control("Label9"));
    MouseClick(window->Control("Label10"));
    MouseClick(window->Control("Label5"));  // no link
    ASSERT_EQ(recorder_.addresses.size(), 3u);
    EXPECT_EQ(recorder_.addresses[0].second, recorder_.addresses[1].second);
    EXPECT_EQ(recorder_.addresses[0].second,
              platform::WideToUtf8(TextOf(window->Control("Label9"))));
    EXPECT_EQ(recorder_.addresses[2].second,
              platform::WideToUtf8(TextOf(window->Control("Label10"))));
    EXPECT_EQ(recorder_.addresses[2].second.back(), ' ');
    EXPECT_EQ(recorder_.addresses[0].first, about);
    EXPECT_TRUE(IsWindow(about));
    EXPECT_FALSE(IsWindowEnabled(main_));
    recorder_.addresses.clear();

    if (by_close_box) {
      SendMessageW(about, WM_CLOSE, 0, 0);
    } else {
      Click(window->Control("Command1"));
    }
    Pump();
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsWindowEnabled(main_));
  }
}

// The build runs against a demo kit and the test drive that the test runner maps.
class MainWindowBuildTest : public MainWindowTest {
 protected:
  void SetUp() override {
    drive_ = TestDrive();
    if (drive_.empty()) GTEST_SKIP() << "TALVEX_TEST_DRIVE names no test drive";
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), false).ok());
    RemoveBuiltFolders();
    MainWindowTest::SetUp();
    ChooseInList(Get("Drive1"), platform::Utf8ToWide(drive_));
    ASSERT_EQ(window_->model().options().Drive1.substr(0, 2), drive_);
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    if (!drive_.empty()) RemoveBuiltFolders();
  }

  // A new main window on the test drive, in place of the one there was.
  void ReopenOnTheDrive() {
    if (IsWindow(main_)) DestroyWindow(main_);
    Pump();
    MainWindowTest::SetUp();
    ChooseInList(Get("Drive1"), platform::Utf8ToWide(drive_));
  }

  static std::string TestDrive() {
    const char* drive = std::getenv("TALVEX_TEST_DRIVE");
    return drive != nullptr ? drive : "";
  }
  void RemoveBuiltFolders() const {
    std::error_code ignored;
    std::filesystem::remove_all(platform::Utf8ToWide(drive_ + "\\Talvex"), ignored);
    std::filesystem::remove_all(platform::Utf8ToWide(drive_ + "\\PVR"), ignored);
  }
  bool Exists(const std::string& relative) const {
    return GetFileAttributesW(platform::Utf8ToWide(drive_ + relative).c_str()) !=
           INVALID_FILE_ATTRIBUTES;
  }

  std::string drive_;
};

TEST_F(MainWindowBuildTest, GoBuildsTheTreeAndNoLeavesTheWindowAsItWas) {
  const std::vector<std::string> before = Snapshot();
  const options::BuildOptions options = window_->model().options();
  MessageBoxAnswerer answer(IDNO);
  Click(Get("CommanEND"));
  Pump();

  EXPECT_TRUE(Exists("\\Talvex\\etc\\init.d"));
  EXPECT_TRUE(Exists("\\Talvex\\etc\\init.d\\access_nfs"));
  EXPECT_TRUE(Exists("\\Talvex\\opt\\brandeval\\usr\\sbin"));
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  EXPECT_EQ(answer.answered(), 1);
  EXPECT_EQ(answer.default_button(), IDYES);
  const ShownBox& box = recorder_.boxes[0];
  EXPECT_EQ(box.title, L"Поздравляю, всё готово!");
  EXPECT_EQ(box.text.substr(0, 19), L"Собранно на диск \"" + std::wstring(1, drive_[0]));
  EXPECT_EQ(box.style & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(box.style & MB_ICONMASK, static_cast<UINT>(MB_ICONQUESTION));  // nothing failed
  EXPECT_EQ(box.style & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON1));
  EXPECT_EQ(box.answer, IDNO);

  EXPECT_TRUE(IsWindow(main_));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(window_->model().options().TexSMBpas, options.TexSMBpas);
  EXPECT_TRUE(recorder_.programs.empty());
  EXPECT_EQ(recorder_.windows_closed, 0);
}

TEST_F(MainWindowBuildTest, YesOpensThePvrSettingsAndClosesTheWindow) {
  Click(Get("pvr"));
  MessageBoxAnswerer answer(IDYES);
  Click(Get("CommanEND"));
  Pump();
  EXPECT_TRUE(Exists("\\PVR"));
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  ASSERT_EQ(recorder_.programs.size(), 1u);
  EXPECT_EQ(recorder_.programs[0].first, "notepad.exe " + kit_.path() + "\\PVR\\pvr.ini");
  EXPECT_EQ(recorder_.programs[0].second, 1);
  EXPECT_FALSE(IsWindow(main_));
  EXPECT_EQ(recorder_.windows_closed, 1);
}

TEST_F(MainWindowBuildTest, YesWithoutPvrOnlyCloses) {
  MessageBoxAnswerer answer(IDYES);
  Click(Get("CommanEND"));
  Pump();
  EXPECT_TRUE(recorder_.programs.empty());
  EXPECT_FALSE(IsWindow(main_));
}

// A report that names only the first failures keeps all of them behind its Help button: the box
// sends its owner WM_HELP, and the main window lists every failure over the box.
TEST_F(MainWindowBuildTest, AReportNamingOnlyTheFirstFailuresListsThemAllOnHelp) {
  platform::FaultInjectingFileSystem failing(platform::NativeFileSystem());
  failing.FailUnder(platform::FsOperation::kCopyFile, drive_ + "\\Talvex", 5, "Access denied");
  file_system_ = &failing;
  ReopenOnTheDrive();
  std::wstring listed;
  MessageBoxAnswerer answer(IDNO, [&listed](HWND box) {
    HELPINFO help{};
    help.cbSize = sizeof(help);
    help.iContextType = HELPINFO_WINDOW;
    help.hItemHandle = box;
    SendMessageW(box, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    HWND list = FindWindowW(ui::win32::kFailureListClass, nullptr);
    if (list == nullptr) return;
    EXPECT_EQ(GetWindow(list, GW_OWNER), box);
    HWND lines = ui::win32::FailureListWindow::FromHandle(list)->list();
    const auto count = SendMessageW(lines, LB_GETCOUNT, 0, 0);
    for (LRESULT line = 0; line < count; ++line) {
      std::wstring text(static_cast<std::size_t>(SendMessageW(lines, LB_GETTEXTLEN, line, 0)),
                        L' ');
      SendMessageW(lines, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text.data()));
      listed += text + L"\n";
    }
  });
  Click(Get("CommanEND"));
  Pump();
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  const ShownBox& report = recorder_.boxes[0];
  EXPECT_EQ(report.style & MB_HELP, static_cast<UINT>(MB_HELP));
  const std::size_t more = report.text.find(L"\u2026 и ещё ");
  ASSERT_NE(more, std::wstring::npos) << platform::WideToUtf8(report.text);
  // The ten named, and as many more as the box counts.
  const std::size_t counted = std::stoul(report.text.substr(more + 8));
  const auto lines = static_cast<std::size_t>(std::count(listed.begin(), listed.end(), L'\n'));
  EXPECT_EQ(lines, 10 + counted) << platform::WideToUtf8(listed);
  EXPECT_EQ(FindWindowW(ui::win32::kFailureListClass, nullptr), nullptr);  // gone with the box
}

// Started from the root of the target drive, a build would delete the kit it copies from: it
// refuses, says why, and leaves the window as it was.
class MainWindowRefusedBuildTest : public MainWindowBuildTest {
 protected:
  void SetUp() override {
    source_root_ = TestDrive();
    MainWindowBuildTest::SetUp();
  }
};

TEST_F(MainWindowRefusedBuildTest, ABuildThatWouldDeleteItsKitIsRefusedWithAWarning) {
  MakeFile(drive_ + "\\Talvex\\readme.txt", "the master");
  const std::vector<std::string> before = Snapshot();
  const std::vector<std::string> kit_before = TreeListing(drive_ + "\\Talvex");
  MessageBoxAnswerer answer(IDYES);
  Click(Get("CommanEND"));
  Pump();
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  EXPECT_EQ(recorder_.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  EXPECT_EQ(recorder_.boxes[0].title, L"Talvex - Auto");
  EXPECT_EQ(TreeListing(drive_ + "\\Talvex"), kit_before);
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(recorder_.programs.empty());
}

// The build's file system, slowed: every write, copy, flush and read-back waits a little, as a
// slow stick makes it wait, so that a build lasts long enough to be watched from the window.
class SlowBuildTest : public MainWindowBuildTest {
 protected:
  void SetUp() override {
    slow_ = std::make_unique<platform::FaultInjectingFileSystem>(platform::NativeFileSystem());
    slow_->Watch([this](platform::FsOperation operation, const std::string&) {
      using platform::FsOperation;
      if (operation == FsOperation::kWriteFile || operation == FsOperation::kCopyFile) {
        Sleep(write_delay_ms_);
      }
      // The window shows the latest progress when its turn comes, so a stage is seen only if it
      // lasts longer than that turn, which a busy machine has made 0.3 s: the flush of the whole
      // drive, one call, is made to last longer.
      if (operation == FsOperation::kFlush) Sleep(kFlushDelayMs);
      // Listing too: the comparison with the drive lists its folders, and is shown only if it
      // lasts longer than the window takes to look.
      if (operation == FsOperation::kRead || operation == FsOperation::kDeleteFile ||
          operation == FsOperation::kRemoveDirectory || operation == FsOperation::kListDirectory) {
        Sleep(kDelayMs);
      }
    });
    file_system_ = slow_.get();
    MainWindowBuildTest::SetUp();
  }

  static constexpr DWORD kDelayMs = 15;
  static constexpr DWORD kFlushDelayMs = 600;
  // Writes alone can be slowed further, for a test that needs the writing to last seconds.
  DWORD write_delay_ms_ = kDelayMs;
  std::unique_ptr<platform::FaultInjectingFileSystem> slow_;
};

using Clock = std::chrono::steady_clock;

long long Ms(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// Watches a build from the window's own thread: a thread timer calls `tick` every 10 ms with the
// progress window (null while there is none), and every text the progress window's stage line
// is given is kept, repeats collapsed.
class BuildWatch {
 public:
  explicit BuildWatch(std::function<void(ProgressWindow*)> tick) : tick_(std::move(tick)) {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, SeeText, nullptr, GetCurrentThreadId());
    message_hook_ = SetWindowsHookExW(WH_GETMESSAGE, SeeMessage, nullptr, GetCurrentThreadId());
    timer_ = SetTimer(nullptr, 0, 10, Tick);
  }
  ~BuildWatch() {
    KillTimer(nullptr, timer_);
    UnhookWindowsHookEx(message_hook_);
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  BuildWatch(const BuildWatch&) = delete;
  BuildWatch& operator=(const BuildWatch&) = delete;

  std::vector<std::wstring> stages;
  // The longest time the window's thread went without taking a message from its queue (a posted
  // one, a timer or a paint) while the progress window was shown; a tick's own work (a
  // screenshot) is the test's, not the window's, and does not count.
  Clock::duration longest_tick_gap{};
  int ticks_with_progress_window = 0;

 private:
  static ProgressWindow* Progress() {
    return ProgressWindow::FromHandle(FindWindowW(ui::win32::kProgressWindowClass, nullptr));
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    BuildWatch* self = current_;
    if (self == nullptr) return;
    ProgressWindow* progress = Progress();
    if (progress != nullptr) ++self->ticks_with_progress_window;
    self->tick_(progress);
    // From the end of this tick: what the test does in it (a screenshot) is not the window's.
    self->last_tick_ = Clock::now();
  }
  static LRESULT CALLBACK SeeMessage(int code, WPARAM wparam, LPARAM lparam) {
    BuildWatch* self = current_;
    if (code == HC_ACTION && wparam == PM_REMOVE && self != nullptr) {
      const Clock::time_point now = Clock::now();
      if (Progress() == nullptr) {
        self->last_tick_ = {};
      } else if (self->last_tick_ != Clock::time_point{}) {
        self->longest_tick_gap = std::max(self->longest_tick_gap, now - self->last_tick_);
      }
      if (Progress() != nullptr) self->last_tick_ = now;
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  static LRESULT CALLBACK SeeText(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    BuildWatch* self = current_;
    if (code == HC_ACTION && self != nullptr && call->message == WM_SETTEXT) {
      ProgressWindow* progress = ProgressWindow::FromHandle(GetParent(call->hwnd));
      if (progress != nullptr && call->hwnd == progress->Control("Stage")) {
        const std::wstring text = reinterpret_cast<const wchar_t*>(call->lParam);
        if (self->stages.empty() || self->stages.back() != text) self->stages.push_back(text);
      }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  static inline BuildWatch* current_ = nullptr;
  std::function<void(ProgressWindow*)> tick_;
  HHOOK hook_ = nullptr;
  HHOOK message_hook_ = nullptr;
  UINT_PTR timer_ = 0;
  Clock::time_point last_tick_{};
};

// The window under a build: its thread handles its timer throughout, a tenth of a second apart
// at most, and answers and paints for another thread (whose own turn on two cores shared with
// other builds has taken Wine up to about 0.4 s: that bound is a second); every control stays
// locked and whatever the user clicks or types meanwhile changes no option; and the progress
// window, modal over it, names each stage from the removal of the old payload to the
// measurement.
TEST_F(SlowBuildTest, TheWindowPaintsDropsInputAndShowsEveryStageWhileTheBuildRuns) {
  // Enough of an old payload that its removal lasts long enough to be shown.
  for (int i = 0; i < 24; ++i) {
    MakeFile(drive_ + "\\Talvex\\old" + std::to_string(i) + ".txt", "from the build before");
  }
  // Writing that lasts a few seconds, so that the speed and the time left are shown.
  write_delay_ms_ = 60;
  const std::vector<std::string> before = Snapshot();
  const options::BuildOptions options = window_->model().options();
  bool input_sent = false, screenshot_taken = false, speed_in_screenshot = false,
       shot_asked = false;
  std::wstring figures_with_speed;
  int ticks_with_a_control_enabled = 0, ticks_main_enabled = 0, ticks_not_owned = 0;
  int items_on_the_drive = 0;
  LRESULT bar_furthest = 0, bar_range = 0;
  Clock::time_point shown{};
  PaintWatcher painter(main_);
  BuildWatch watch([&](ProgressWindow* progress) {
    if (progress == nullptr) return;
    if (shown == Clock::time_point{}) shown = Clock::now();
    if (IsWindowEnabled(main_)) ++ticks_main_enabled;
    if (GetWindow(progress->handle(), GW_OWNER) != main_) ++ticks_not_owned;
    const std::wstring item = TextOf(progress->Control("Item"));
    if (item.starts_with(platform::Utf8ToWide(drive_))) ++items_on_the_drive;
    bar_furthest = std::max(bar_furthest, SendMessageW(progress->Control("Bar"), PBM_GETPOS, 0, 0));
    bar_range = SendMessageW(progress->Control("Bar"), PBM_GETRANGE, FALSE, 0);
    for (std::string_view name : {"pvr", "mc", "TexSMBsh", "Drive1", "Command1", "CommanEND"}) {
      if (IsWindowEnabled(Get(name))) ++ticks_with_a_control_enabled;
    }
    if (!input_sent) {
      input_sent = true;
      Click(Get("pvr"));
      Click(Get("Chwifi"));
      Click(Get("ChNfs"));
      Type(Get("TexSMBsh"), L"films");
      PostMessageW(Get("TextIP"), WM_CHAR, L'7', 1);
      ChooseInList(Get("Drive1"), L"c:");
      Click(Get("CommanEND"));
      Click(Get("Command1"));
    }
    // While the build writes; taken again once its speed is known (a second into writing). Taken
    // a tick after it is asked for: Wine puts what the window painted on the screen only once its
    // thread waits for messages.
    if (shot_asked) {
      shot_asked = false;
      EXPECT_TRUE(SaveScreenshot(progress->handle(), "screenshots/progress_window.png"));
      return;
    }
    const std::wstring figures = TextOf(progress->Control("Figures"));
    const bool speed_known = figures.find(L"/с") != std::wstring::npos;
    if ((!screenshot_taken || (speed_known && !speed_in_screenshot)) &&
        Clock::now() - shown > std::chrono::milliseconds(400) &&
        TextOf(progress->Control("Stage")) == L"Запись") {
      speed_in_screenshot = speed_known;
      if (speed_known) figures_with_speed = figures;
      screenshot_taken = shot_asked = true;
    }
  });
  MessageBoxAnswerer answer(IDNO);
  Click(Get("CommanEND"));
  Pump();
  painter.Stop();

  EXPECT_EQ(watch.stages,
            (std::vector<std::wstring>{L"Сравнение с флешкой", L"Запись", L"Сброс на диск",
                                       L"Проверка записанного", L"Замена старых файлов новыми",
                                       L"Подсчёт размера"}));
  EXPECT_TRUE(input_sent);
  EXPECT_TRUE(screenshot_taken);
  // A second into writing the speed is known, and with it the time left.
  EXPECT_NE(figures_with_speed.find(L"осталось"), std::wstring::npos) << figures_with_speed;
  EXPECT_GT(watch.ticks_with_progress_window, 20);
  EXPECT_GT(items_on_the_drive, 0);  // the file in hand, by its path on the drive
  EXPECT_GT(bar_furthest, 0);
  EXPECT_LE(bar_furthest, bar_range);
  EXPECT_EQ(ticks_main_enabled, 0);
  EXPECT_EQ(ticks_not_owned, 0);
  EXPECT_EQ(ticks_with_a_control_enabled, 0);
  std::printf(
      "longest wait for a paint %lld ms, for an answer %lld ms; longest timer gap %lld ms\n",
      Ms(painter.longest_wait()), Ms(painter.longest_answer()), Ms(watch.longest_tick_gap));
  // A timer late by a few frames on a busy machine is no frozen window; a blocked loop is seconds.
  EXPECT_LT(watch.longest_tick_gap, std::chrono::milliseconds(200));
  EXPECT_LT(painter.longest_answer(), std::chrono::seconds(1));
  EXPECT_LT(painter.longest_wait(), std::chrono::seconds(1));

  // One build, one report, and the window as it was.
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  EXPECT_EQ(recorder_.boxes[0].title, L"Поздравляю, всё готово!");
  EXPECT_EQ(FindWindowW(ui::win32::kProgressWindowClass, nullptr), nullptr);
  EXPECT_EQ(FindWindowW(ui::win32::kAboutWindowClass, nullptr), nullptr);
  EXPECT_TRUE(IsWindowEnabled(main_));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(window_->model().options().pvr, options.pvr);
  EXPECT_EQ(window_->model().options().TexSMBsh, options.TexSMBsh);
  EXPECT_EQ(window_->model().options().TextIP, options.TextIP);
  EXPECT_EQ(window_->model().options().Drive1, options.Drive1);
  EXPECT_FALSE(Exists("\\PVR"));
}

TEST_F(SlowBuildTest, StopEndsTheBuildAndTheReportSaysSo) {
  bool pressed = false, focus_kept = false;
  std::wstring stage_after_press, figures;
  bool stop_enabled_after_press = true;
  BuildWatch watch([&](ProgressWindow* progress) {
    if (pressed || progress == nullptr || TextOf(progress->Control("Stage")) != L"Запись") {
      return;
    }
    pressed = true;
    figures = TextOf(progress->Control("Figures"));
    Click(progress->Control("Stop"));
    stage_after_press = TextOf(progress->Control("Stage"));
    stop_enabled_after_press = IsWindowEnabled(progress->Control("Stop")) != FALSE;
    focus_kept = GetActiveWindow() == progress->handle() && GetFocus() == progress->handle();
  });
  MessageBoxAnswerer answer(IDNO);
  Click(Get("CommanEND"));
  Pump();

  ASSERT_TRUE(pressed);
  EXPECT_EQ(stage_after_press, L"Остановка…");
  EXPECT_FALSE(stop_enabled_after_press);
  // Stop has gone grey; the window keeps the focus, so that Escape still reaches it.
  EXPECT_TRUE(focus_kept);
  EXPECT_NE(figures.find(L" из "), std::wstring::npos) << platform::WideToUtf8(figures);
  // What was written is still flushed; nothing is read back after a stop.
  EXPECT_NE(std::find(watch.stages.begin(), watch.stages.end(), L"Остановка…"), watch.stages.end());
  EXPECT_EQ(std::find(watch.stages.begin(), watch.stages.end(), L"Проверка записанного"),
            watch.stages.end());
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  EXPECT_EQ(recorder_.boxes[0].title, L"Сборка остановлена");
  EXPECT_NE(recorder_.boxes[0].text.find(L"Сборка остановлена по вашей просьбе"),
            std::wstring::npos);
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_TRUE(IsWindowEnabled(Get("CommanEND")));
}

// Every way of closing during a build asks the same question, No the default: Yes stops the
// build and closes the window without a report; No lets the build go on (here until Stop), the
// progress window keeping the focus.
TEST_F(SlowBuildTest, EveryWayOfClosingDuringABuildAsksAndYesStopsAndCloses) {
  struct Way {
    const char* how;
    std::function<void(HWND main, ProgressWindow& progress)> close;
  };
  const Way ways[] = {
      {"the main window's close box",
       [](HWND main, ProgressWindow&) { PostMessageW(main, WM_CLOSE, 0, 0); }},
      {"the progress window's close box",
       [](HWND, ProgressWindow& progress) { PostMessageW(progress.handle(), WM_CLOSE, 0, 0); }},
      {"Alt+F4",
       [](HWND, ProgressWindow& progress) {
         PostMessageW(progress.handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
       }},
      {"Escape",
       [](HWND, ProgressWindow&) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
  };
  for (const Way& way : ways) {
    for (const int answer_given : {IDNO, IDYES}) {
      SCOPED_TRACE(std::string(way.how) + (answer_given == IDYES ? ": Yes" : ": No"));
      ReopenOnTheDrive();
      recorder_.boxes.clear();
      recorder_.windows_closed = 0;
      bool closed = false, stopped = false, focused_before = false, focused_after = false;
      BuildWatch watch([&](ProgressWindow* progress) {
        if (progress == nullptr || stopped) return;
        const bool focused =
            GetActiveWindow() == progress->handle() &&
            (GetFocus() == progress->Control("Stop") || GetFocus() == progress->handle());
        if (!closed) {
          if (TextOf(progress->Control("Stage")) != L"Запись") return;
          focused_before = focused;
          closed = true;
          way.close(main_, *progress);
        } else if (!recorder_.boxes.empty()) {
          // Answered No: the build goes on, the progress window has the focus back.
          focused_after = focused;
          stopped = true;
          Click(progress->Control("Stop"));
        }
      });
      MessageBoxAnswerer answer(answer_given);
      Click(Get("CommanEND"));
      Pump();

      ASSERT_TRUE(closed);
      EXPECT_TRUE(focused_before);
      ASSERT_FALSE(recorder_.boxes.empty());
      const ShownBox& question = recorder_.boxes[0];
      EXPECT_EQ(question.text, L"Сборка ещё идёт. Остановить её и закрыть программу?");
      EXPECT_EQ(question.style & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
      EXPECT_EQ(question.style & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON2));
      EXPECT_NE(std::find(watch.stages.begin(), watch.stages.end(), L"Остановка…"),
                watch.stages.end());
      if (answer_given == IDNO) {
        EXPECT_TRUE(focused_after);
        ASSERT_EQ(recorder_.boxes.size(), 2u);
        EXPECT_EQ(recorder_.boxes[1].title, L"Сборка остановлена");
        EXPECT_TRUE(IsWindow(main_));
        EXPECT_EQ(recorder_.windows_closed, 0);
      } else {
        EXPECT_EQ(recorder_.boxes.size(), 1u);  // no report
        EXPECT_FALSE(IsWindow(main_));
        EXPECT_EQ(recorder_.windows_closed, 1);
      }
    }
  }
}

// Clicks on GO waiting in the queue when a build starts reach a locked window: one build, one
// report.
TEST_F(MainWindowBuildTest, ClicksDuringTheBuildNeverStartASecondOne) {
  PostMessageW(main_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Get("CommanEND")), BN_CLICKED),
               reinterpret_cast<LPARAM>(Get("CommanEND")));
  PostMessageW(Get("CommanEND"), BM_CLICK, 0, 0);
  PostMessageW(Get("pvr"), BM_CLICK, 0, 0);
  MessageBoxAnswerer answer(IDYES);
  Click(Get("CommanEND"));
  Pump();
  EXPECT_EQ(answer.answered(), 1);
  EXPECT_EQ(recorder_.boxes.size(), 1u);
  EXPECT_TRUE(recorder_.programs.empty());  // pvr was not ticked when GO was pressed
  EXPECT_FALSE(IsWindow(main_));
}

TEST_F(MainWindowTest, ScreenshotsOfBothWindows) {
  SetCursorPos(0, 0);
  UpdateWindow(main_);
  Pump();
  Sleep(300);
  Pump();
  EXPECT_TRUE(SaveScreenshot(main_, "screenshots/main_window.png"));
  Click(Get("Command1"));
  HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr);
  ASSERT_NE(about, nullptr);
  UpdateWindow(about);
  Pump();
  Sleep(300);
  Pump();
  EXPECT_TRUE(SaveScreenshot(about, "screenshots/about_window.png"));
  std::printf("screenshots: %ls\\screenshots\n", std::filesystem::current_path().c_str());
}

}  // namespace
}  // namespace talvex::testing
