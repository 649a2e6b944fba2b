// Keys as a user presses them: virtual keys through the system's own input path (SendInput),
// turned into characters, pastes and focus moves by the system and the message loop, not
// characters posted to a control.
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"
#include "ui/about_content.h"
#include "ui/control_table.h"
#include "ui/win32/about_window.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_ui.h"
#include "ui_test_support.h"

namespace talvex::testing {
namespace {

INPUT KeyInput(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (key == VK_INSERT || key == VK_APPS) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  return input;
}

// A character the keyboard cannot make in the active layout, as an input method sends it.
INPUT CharacterInput(wchar_t character, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = character;
  input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
  return input;
}

void Send(std::vector<INPUT> inputs) {
  ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
            inputs.size());
}

// Each key pressed and released in turn.
void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (WORD key : keys) {
    inputs.push_back(KeyInput(key, false));
    inputs.push_back(KeyInput(key, true));
  }
  Send(inputs);
}

// `key` pressed while `modifier` is held down.
void PressWith(WORD modifier, WORD key) {
  Send({KeyInput(modifier, false), KeyInput(key, false), KeyInput(key, true),
        KeyInput(modifier, true)});
}

// Runs the program's own message loop until the input sent so far has been handled: until the
// queue has stayed empty for a few moments.
void HandleInput() {
  for (int round = 0, idle = 0; round < 200 && idle < 3; ++round) {
    MSG message;
    bool handled = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      handled = true;
      if (message.message == WM_QUIT) continue;
      if (ui::win32::IsNavigationMessage(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    idle = handled ? 0 : idle + 1;
    Sleep(5);
  }
}

class KeyInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }

  void SetUp() override {
    window_ = ui::win32::MainWindow::Create(RecordingServices(recorder_, kit_.path()));
    ASSERT_NE(window_, nullptr);
    main_ = window_->handle();
    SetForegroundWindow(main_);
    HandleInput();
    ASSERT_EQ(GetForegroundWindow(), main_);
  }
  void TearDown() override {
    if (IsWindow(main_)) DestroyWindow(main_);
    HandleInput();
  }

  // Puts the caret into the empty field `name`.
  HWND EmptyField(std::string_view name) {
    HWND field = window_->Control(name);
    SetWindowTextW(field, L"");
    SetFocus(field);
    HandleInput();
    return field;
  }

  std::string_view FocusedName() const {
    HWND focus = GetFocus();
    for (const ui::ControlRow& row : ui::kMainControls) {
      if (window_->Control(row.name) == focus) return row.name;
    }
    return "(none)";
  }

  KitDir kit_;
  Recorder recorder_;
  ui::win32::MainWindow* window_ = nullptr;
  HWND main_ = nullptr;
};

TEST_F(KeyInputTest, AddressFieldsTakeOnlyDigitsFullStopsSpacesAndBackspaceFromTheKeyboard) {
  for (std::string_view name : {"TextIP", "TexSMBip"}) {
    HWND field = EmptyField(name);
    PressKeys({'1', 'A', '9', VK_OEM_PERIOD, VK_SPACE, VK_OEM_COMMA, VK_OEM_MINUS, 'Z', '2'});
    Send({CharacterInput(L'Ж', false), CharacterInput(L'Ж', true)});
    PressWith(VK_SHIFT, '3');  // "#"
    HandleInput();
    EXPECT_EQ(TextOf(field), L"19. 2") << name;
    PressKeys({VK_BACK, VK_BACK});
    HandleInput();
    EXPECT_EQ(TextOf(field), L"19.") << name;
    EXPECT_EQ(ui::win32::WindowTextOf(field), name == "TextIP"
                                                  ? window_->model().options().TextIP
                                                  : window_->model().options().TexSMBip);
  }
}

// Shift+Insert and Ctrl+V paste what typing the same text would have left; Ctrl+A and Ctrl+C
// select and copy as in any edit field.
TEST_F(KeyInputTest, PasteKeysPasteOnlyWhatTheKeyFilterLetsThroughAndCopyKeysCopy) {
  for (const WORD modifier : {VK_SHIFT, VK_CONTROL}) {
    const WORD paste = modifier == VK_SHIFT ? VK_INSERT : 'V';
    for (std::string_view name : {"TextIP", "TexSMBip"}) {
      HWND field = EmptyField(name);
      PressKeys({'7', VK_OEM_PERIOD});
      PutOnClipboard(main_, L"ip 10.1.2.3 x");
      PressWith(modifier, paste);
      HandleInput();
      EXPECT_EQ(TextOf(field), L"7. 10.1.2.3 ") << name << " " << paste;
      PressKeys({'1'});  // the caret stays after what was pasted
      HandleInput();
      EXPECT_EQ(TextOf(field), L"7. 10.1.2.3 1") << name;
      EXPECT_EQ(ui::win32::WindowTextOf(field), name == "TextIP"
                                                    ? window_->model().options().TextIP
                                                    : window_->model().options().TexSMBip);
    }
  }
  EmptyField("TextIP");
  PressKeys({'4', '2'});
  PutOnClipboard(main_, L"nothing yet");
  PressWith(VK_CONTROL, 'A');
  PressWith(VK_CONTROL, 'C');
  HandleInput();
  EXPECT_EQ(ui::win32::ClipboardText(main_), "42");
  // The other fields take the clipboard as it is.
  PutOnClipboard(main_, L"10.0.x0.5, Ж");
  HWND login = EmptyField("TexSMBlog");
  PressWith(VK_SHIFT, VK_INSERT);
  HandleInput();
  EXPECT_EQ(TextOf(login), L"10.0.x0.5, Ж");
}

// Ctrl+Z takes the typing back in every field, the address fields, whose filter could take it for
// a typed character, included.
TEST_F(KeyInputTest, CtrlZUndoesWhatWasTypedInEveryField) {
  for (std::string_view name : {"TextIP", "TexSMBip", "TexSMBlog"}) {
    HWND field = EmptyField(name);
    PressKeys({'1', VK_OEM_PERIOD, '2'});
    HandleInput();
    ASSERT_EQ(TextOf(field), L"1.2") << name;
    PressWith(VK_CONTROL, 'Z');
    HandleInput();
    EXPECT_EQ(TextOf(field), L"") << name;
    EXPECT_EQ(window_->model().TextOf(name), "") << name;
  }
}

TEST_F(KeyInputTest, ContextMenuPasteTakesOnlyWhatTheKeyFilterLetsThrough) {
  for (std::string_view name : {"TextIP", "TexSMBip"}) {
    HWND field = EmptyField(name);
    PutOnClipboard(main_, L"192.168.x1.2a");
    // The context menu key opens the field's menu; P chooses "Paste" in it.
    PressKeys({VK_APPS, 'P'});
    HandleInput();
    EXPECT_EQ(TextOf(field), L"192.168.1.2") << name;
    EXPECT_EQ(ui::win32::WindowTextOf(field), name == "TextIP"
                                                  ? window_->model().options().TextIP
                                                  : window_->model().options().TexSMBip);
  }
}

TEST_F(KeyInputTest, EnterAndEscapeCloseTheAboutWindow) {
  for (const WORD key : {VK_RETURN, VK_ESCAPE}) {
    Click(window_->Control("Command1"));
    HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr);
    ASSERT_NE(about, nullptr);
    SetForegroundWindow(about);
    HandleInput();
    PressKeys({key});
    HandleInput();
    EXPECT_FALSE(IsWindow(about)) << key;
    EXPECT_TRUE(IsWindowEnabled(main_)) << key;
  }
}

// About opens on its button; Tab reaches the links, and Enter or Space opens one, the window
// staying open.
TEST_F(KeyInputTest, TheAboutLinksTakeTheFocusAndOpenByEnterOrSpace) {
  Click(window_->Control("Command1"));
  HWND about = FindWindowW(ui::win32::kAboutWindowClass, nullptr);
  ASSERT_NE(about, nullptr);
  ui::win32::AboutWindow* window = ui::win32::AboutWindow::FromHandle(about);
  SetForegroundWindow(about);
  HandleInput();
  EXPECT_EQ(GetFocus(), window->Control("Command1"));
  PressKeys({VK_TAB});
  HandleInput();
  EXPECT_EQ(GetFocus(), window->Control("Label6"));
  PressKeys({VK_RETURN, VK_SPACE});
  HandleInput();
  ASSERT_EQ(recorder_.addresses.size(), 2u);
  for (const auto& [shown_over, address] : recorder_.addresses) {
    EXPECT_EQ(address, ui::about::kMaker.page);
    EXPECT_EQ(shown_over, about);
  }
  EXPECT_TRUE(IsWindow(about));
  PressKeys({VK_ESCAPE});
  HandleInput();
  EXPECT_FALSE(IsWindow(about));
}

TEST_F(KeyInputTest, TabVisitsTheControlsInOrderAndShiftTabGoesBack) {
  SetFocus(window_->Control("Drive1"));
  HandleInput();
  std::vector<std::string_view> expected;
  for (std::string_view name : ui::kMainTabOrder) {
    if (name != "Chavto") expected.push_back(name);  // disabled at start
  }
  std::vector<std::string_view> visited{FocusedName()};
  for (std::size_t step = 1; step < expected.size(); ++step) {
    PressKeys({VK_TAB});
    HandleInput();
    visited.push_back(FocusedName());
  }
  EXPECT_EQ(visited, expected);
  PressKeys({VK_TAB});
  HandleInput();
  EXPECT_EQ(FocusedName(), "Drive1") << "Tab wraps round to the first control";
  PressWith(VK_SHIFT, VK_TAB);
  HandleInput();
  EXPECT_EQ(FocusedName(), "CommanEND");
}

}  // namespace
}  // namespace talvex::testing
