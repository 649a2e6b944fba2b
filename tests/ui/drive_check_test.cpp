// The drive list following the system, and what GO checks before a build touches anything: the
// kit, the drive picked against what it was when picked, and a drive that is no flash drive.
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <dbt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "demo_kit.h"
#include "engine/guard.h"
#include "platform/win32/utf.h"
#include "support/test_support.h"
#include "ui/main_window_model.h"
#include "ui/win32/main_window.h"
#include "ui/window_texts.h"
#include "ui_test_support.h"

namespace talvex::testing {
namespace {

using ui::win32::MainWindow;

std::string TestDrive() {
  const char* drive = std::getenv("TALVEX_TEST_DRIVE");
  return drive != nullptr ? drive : "";
}

bool Lists(HWND list, char letter) {
  const wchar_t entry[] = {static_cast<wchar_t>(letter), L':', L'\0'};
  return SendMessageW(list, CB_FINDSTRING, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>(entry)) != CB_ERR;
}

// A drive letter given to a folder while the window runs, as a stick plugged in gets one: the
// folder is linked into the prefix's dosdevices on the host. Wine's mount manager reads those
// links only when it starts, so the letter is also defined in the object namespace, where
// GetLogicalDrives looks, as the system's mount manager does for a new volume.
class PluggedDrive {
 public:
  explicit PluggedDrive(char letter) : letter_(letter) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix == '\0') return;
    const std::wstring host_prefix = platform::Utf8ToWide(prefix);
    host_folder_ = host_prefix + L"/test-drive-" + static_cast<wchar_t>(letter_);
    link_ = host_prefix + L"/dosdevices/" + Name();
    folder_ = L"Z:" + host_folder_;
    for (wchar_t& character : folder_) {
      if (character == L'/') character = L'\\';
    }
  }
  ~PluggedDrive() { Pull(); }
  PluggedDrive(const PluggedDrive&) = delete;
  PluggedDrive& operator=(const PluggedDrive&) = delete;

  bool Plug() {
    if (folder_.empty()) return false;
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    plugged_ = RunOnHost(L"/bin/ln -sfn " + host_folder_ + L" " + link_, true);
    return plugged_ && DefineDosDeviceW(DDD_RAW_TARGET_PATH, Name().c_str(), Target().c_str());
  }
  void Pull() {
    if (!plugged_) return;
    plugged_ = false;
    RunOnHost(L"/bin/rm -f " + link_, false);
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                     Name().c_str(), Target().c_str());
  }
  // Tells the window, as the system tells every top-level window: by a sent message, since a
  // device change that carries a pointer cannot be posted.
  void Announce(HWND window, WPARAM event) const {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (letter_ - 'a');
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
  }
  const std::wstring& folder() const { return folder_; }

 private:
  std::wstring Name() const { return {static_cast<wchar_t>(letter_), L':'}; }  // "q:"
  std::wstring Target() const { return L"\\??\\" + folder_; }
  // Starts a host program (Wine starts those, but hands back no process to wait for) and waits,
  // ten seconds at most, until the letter's root is `reached` or not, as Wine sees at once.
  bool RunOnHost(std::wstring command_line, bool reached) const {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return false;
    }
    for (int wait = 0; wait < 500; ++wait, Sleep(20)) {
      if ((GetFileAttributesW((Name() + L'\\').c_str()) != INVALID_FILE_ATTRIBUTES) == reached) {
        return true;
      }
    }
    return false;
  }

  char letter_;
  std::wstring host_folder_, link_, folder_;
  bool plugged_ = false;
};

// The window over a demo kit with the test drive chosen; each test may change the services first.
class DriveCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = TestDrive();
    if (drive_.empty()) GTEST_SKIP() << "TALVEX_TEST_DRIVE names no test drive";
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), false).ok());
    services_ = RecordingServices(recorder_, kit_.path());
    RemoveBuilt();
  }
  void TearDown() override {
    if (window_ != nullptr && IsWindow(window_->handle())) DestroyWindow(window_->handle());
    Pump();
    RemoveBuilt();
  }

  void Open() {
    window_ = MainWindow::Create(std::move(services_));
    ASSERT_NE(window_, nullptr);
    Pump();
    list_ = window_->Control("Drive1");
    ChooseInList(list_, platform::Utf8ToWide(drive_));
  }
  void RemoveBuilt() const {
    std::error_code ignored;
    std::filesystem::remove_all(platform::Utf8ToWide(drive_ + "\\Talvex"), ignored);
  }
  bool Built() const { return PathExists(drive_ + "\\Talvex"); }
  char DriveLetter() const { return drive_[0]; }
  std::string Chosen() const { return window_->model().options().Drive1; }

  std::string drive_;
  TempDir kit_;
  Recorder recorder_;
  ui::win32::UiServices services_;
  MainWindow* window_ = nullptr;
  HWND list_ = nullptr;
};

TEST_F(DriveCheckTest, ADriveLetterAddedWhileTheWindowRunsIsListedAndTheChosenDriveStays) {
  Open();
  PluggedDrive stick('q');
  ASSERT_FALSE(Lists(list_, 'q'));
  if (!stick.Plug()) GTEST_SKIP() << "needs Wine's prefix to add a drive letter";

  // Only a volume's arrival has the list read again.
  DEV_BROADCAST_HDR port{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_PORT, 0};
  SendMessageW(window_->handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
               reinterpret_cast<LPARAM>(&port));
  EXPECT_FALSE(Lists(list_, 'q'));
  stick.Announce(window_->handle(), DBT_DEVICEARRIVAL);
  EXPECT_TRUE(Lists(list_, 'q'));
  EXPECT_EQ(ui::DriveLetterOf(Chosen()), DriveLetter());
  EXPECT_EQ(platform::WideToUtf8(TextOf(list_)), Chosen());

  // Wine tells nobody of a letter taken away either; the list reads the drives when it opens.
  stick.Pull();
  SendMessageW(list_, CB_SHOWDROPDOWN, TRUE, 0);
  SendMessageW(list_, CB_SHOWDROPDOWN, FALSE, 0);
  Pump();
  EXPECT_FALSE(Lists(list_, 'q'));
  EXPECT_EQ(ui::DriveLetterOf(Chosen()), DriveLetter());
}

// A drive that is no flash drive needs a yes, named in the question, No the default: a fixed
// disk (the letter the test script types "hd"), and the drive that holds Windows whatever it is
// (building onto the prefix's real Windows drive is not for a test: the test drive stands in).
TEST_F(DriveCheckTest, GoOnADriveThatIsNoFlashDriveAsksOnceAndNoTouchesNothing) {
  const char* fixed = std::getenv("TALVEX_FIXED_DRIVE");
  if (fixed == nullptr || *fixed == '\0') GTEST_SKIP() << "TALVEX_FIXED_DRIVE names no fixed drive";
  struct Case {
    const char* what;
    std::string drive;
    bool holds_windows;
    std::wstring address = {};  // typed at the end of the NFS address
  };
  // An address no television mounts is asked about the same way, naming its field.
  const Case cases[] = {{"a fixed disk", fixed, false},
                        {"the Windows drive", drive_, true},
                        {"an impossible address", drive_, false, L" 9"}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const std::string built = test.drive + "\\Talvex";
    services_ = RecordingServices(recorder_, kit_.path());
    if (test.holds_windows) services_.windows_drive_letter = [this] { return DriveLetter(); };
    Open();
    ChooseInList(list_, platform::Utf8ToWide(test.drive));
    Type(window_->Control("TextIP"), test.address);
    const std::string question =
        !test.address.empty() ? ui::ImpossibleAddressQuestion(window_->model().options()).value()
        : test.holds_windows  ? ui::SystemDriveQuestion(test.drive)
                              : ui::NotRemovableDriveQuestion(test.drive);
    for (const int answer : {IDNO, IDYES}) {
      recorder_.boxes.clear();
      MessageBoxAnswerer answerer(answer);
      Click(window_->Control("CommanEND"));
      Pump();
      // Asked once: after Yes the next box is the report, and Yes to it ends the program.
      ASSERT_EQ(recorder_.boxes.size(), answer == IDNO ? 1u : 2u);
      EXPECT_EQ(platform::WideToUtf8(recorder_.boxes[0].text), question);
      EXPECT_EQ(recorder_.boxes[0].style & (MB_TYPEMASK | MB_DEFMASK),
                static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2));
      EXPECT_EQ(PathExists(built), answer == IDYES);
    }
    std::error_code ignored;
    std::filesystem::remove_all(platform::Utf8ToWide(built), ignored);
  }
}

TEST_F(DriveCheckTest, GoOnADriveThatChangedSinceItWasPickedSaysSoAndTouchesNothing) {
  PluggedDrive stick('q');
  if (!stick.Plug()) GTEST_SKIP() << "needs Wine's prefix to add a drive letter";
  // A folder-backed letter under Wine takes its serial number from the host's file system, which
  // a test cannot swap under it; so another volume under the test drive's letter is made up:
  // the drive's real answer with another root folder.
  bool swapped = false;
  services_.drive_identity = [this, &swapped](char letter) {
    std::optional<platform::FileId> identity = ui::win32::DriveIdentityOf(letter);
    if (identity && swapped && letter == DriveLetter()) ++identity->index;
    return identity;
  };
  Open();
  struct Case {
    const char* what;
    char letter;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"the stick pulled", 'q', [&] { stick.Pull(); }},
      {"another volume under the letter", DriveLetter(), [&] { swapped = true; }},
  };
  const std::string root_of_q = platform::WideToUtf8(stick.folder());
  for (const Case& test : cases) {
    ChooseInList(list_, std::wstring{static_cast<wchar_t>(test.letter), L':'});
    ASSERT_EQ(ui::DriveLetterOf(Chosen()), test.letter) << test.what;
    test.change();
    recorder_.boxes.clear();
    MessageBoxAnswerer answerer(IDNO);  // OK to the warning; No to a report would keep the window
    Click(window_->Control("CommanEND"));
    Pump();
    ASSERT_EQ(recorder_.boxes.size(), 1u) << test.what;
    EXPECT_EQ(platform::WideToUtf8(recorder_.boxes[0].text),
              ui::DriveChangedMessage(std::string{test.letter, ':'}))
        << test.what;
    EXPECT_EQ(recorder_.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_FALSE(Built()) << test.what;
    EXPECT_FALSE(PathExists(root_of_q + "\\Talvex")) << test.what;
    EXPECT_FALSE(Lists(list_, 'q')) << test.what << ": the pulled stick is no longer listed";
    // The list read again shows no drive, not another one, and GO says that none is picked.
    EXPECT_EQ(Chosen(), "") << test.what;
    EXPECT_EQ(SendMessageW(list_, CB_GETCURSEL, 0, 0), CB_ERR) << test.what;
    Click(window_->Control("CommanEND"));
    Pump();
    ASSERT_EQ(recorder_.boxes.size(), 2u) << test.what;
    EXPECT_EQ(platform::WideToUtf8(recorder_.boxes[1].text), std::string(ui::kNoFlashDrive));
    EXPECT_FALSE(Built()) << test.what;
  }
  // Picked again, the drive is the new volume: GO builds onto it now. (The made-up volume is the
  // real one again, since the build itself opens the real drive and checks it is the one picked.)
  swapped = false;
  ChooseInList(list_, std::wstring{static_cast<wchar_t>(DriveLetter()), L':'});
  MessageBoxAnswerer answerer(IDNO);
  Click(window_->Control("CommanEND"));
  Pump();
  EXPECT_TRUE(Built());
}

TEST_F(DriveCheckTest, WithoutAKitTheWindowSaysSoAtStartAndGoTouchesNothing) {
  const TempDir no_kit;
  services_.source_root = no_kit.path();
  MakeFile(drive_ + "\\Talvex\\keep.txt", "the stick's own");
  std::vector<bool> over_the_window;
  services_.message_box = [show = services_.message_box, &over_the_window](
                              HWND owner, const std::wstring& text, const std::wstring& title,
                              UINT style) {
    over_the_window.push_back(owner != nullptr && IsWindowVisible(owner));
    return show(owner, text, title, style);
  };
  const std::wstring message = platform::Utf8ToWide(build::NoKitMessage(no_kit.path()));
  MessageBoxAnswerer answerer(IDNO);  // OK to the warning; No to a report would keep the window
  Open();
  ASSERT_EQ(recorder_.boxes.size(), 1u);
  EXPECT_EQ(recorder_.boxes[0].text, message);
  EXPECT_EQ(recorder_.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  EXPECT_EQ(over_the_window, std::vector<bool>{true}) << "the warning comes once it is shown";

  Click(window_->Control("CommanEND"));
  Pump();
  ASSERT_EQ(recorder_.boxes.size(), 2u);
  EXPECT_EQ(recorder_.boxes[1].text, message);
  EXPECT_EQ(TreeListing(drive_ + "\\Talvex"), std::vector<std::string>{"keep.txt"});
}

}  // namespace
}  // namespace talvex::testing
