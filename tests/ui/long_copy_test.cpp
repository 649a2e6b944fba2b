// A build that copies one large file keeps the window painted: a paint request made from
// another thread at any moment of the build is answered within a second (the system shows a
// window that does not repaint for a few seconds as not responding).
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <commctrl.h>
#include <objbase.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "demo_kit.h"
#include "platform/paths.h"
#include "platform/win32/utf.h"
#include "support/test_support.h"
#include "ui/win32/main_window.h"
#include "ui_test_support.h"

namespace talvex::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kLargeFileBytes = std::int64_t{1} << 30;
constexpr auto kAnswerWithin = std::chrono::milliseconds(1000);

// A file of `bytes` that takes no room on the disk until written: a hole from start to end.
bool MakeSparseFile(const std::string& path, std::int64_t bytes) {
  HANDLE file = CreateFileW(platform::Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = bytes;
  const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return made;
}

// Asks `window` to repaint again and again from its own thread, and keeps the longest wait for
// the repaint.
class PaintWatcher {
 public:
  explicit PaintWatcher(HWND window) : window_(window), thread_([this] { Watch(); }) {}
  ~PaintWatcher() { Stop(); }
  PaintWatcher(const PaintWatcher&) = delete;
  PaintWatcher& operator=(const PaintWatcher&) = delete;

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  Clock::duration longest_wait() const { return longest_wait_; }
  int requests() const { return requests_; }

 private:
  void Watch() {
    while (!stop_) {
      InvalidateRect(window_, nullptr, FALSE);
      const Clock::time_point asked = Clock::now();
      ++requests_;
      while (!stop_ && GetUpdateRect(window_, nullptr, FALSE)) Sleep(2);
      if (!stop_) longest_wait_ = std::max(longest_wait_, Clock::now() - asked);
      Sleep(20);
    }
  }

  HWND window_;
  std::atomic<bool> stop_{false};
  Clock::duration longest_wait_{};
  int requests_ = 0;
  std::thread thread_;
};

TEST(LongCopyTest, TheWindowAnswersEveryPaintRequestWithinASecondWhileALargeFileIsCopied) {
  const char* drive_variable = std::getenv("TALVEX_TEST_DRIVE");
  if (drive_variable == nullptr || *drive_variable == '\0') {
    GTEST_SKIP() << "TALVEX_TEST_DRIVE names no test drive";
  }
  const std::string drive = drive_variable;
  TempDir kit;
  ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit.path(), false).ok());
  const std::string large = platform::JoinPayloadPath(kit.path(), "\\Talvex\\clmeta.dat");
  ASSERT_TRUE(MakeSparseFile(large, kLargeFileBytes));

  Recorder recorder;
  ui::win32::MainWindow* window = OpenMainWindowOnDrive(recorder, kit.path(), drive);
  ASSERT_NE(window, nullptr);
  HWND main = window->handle();
  ASSERT_EQ(window->model().options().Drive1.substr(0, 2), drive);

  Clock::duration build_time{};
  int requests = 0;
  Clock::duration longest_wait{};
  {
    MessageBoxAnswerer answer(IDNO);
    PaintWatcher watcher(main);
    const Clock::time_point start = Clock::now();
    Click(window->Control("CommanEND"));  // returns when the report has been answered
    build_time = Clock::now() - start;
    watcher.Stop();
    requests = watcher.requests();
    longest_wait = watcher.longest_wait();
  }
  DestroyWindow(main);
  Pump();

  const std::string copied = platform::JoinPayloadPath(drive, "\\Talvex\\clmeta.dat");
  std::error_code error;
  EXPECT_EQ(std::filesystem::file_size(platform::Utf8ToWide(copied), error),
            static_cast<std::uintmax_t>(kLargeFileBytes));
  std::filesystem::remove_all(platform::Utf8ToWide(drive + "\\Talvex"), error);
  ASSERT_EQ(recorder.boxes.size(), 1u);

  const auto ms = [](Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  };
  std::printf("build %lld ms, %d paint requests, longest wait %lld ms\n",
              static_cast<long long>(ms(build_time)), requests,
              static_cast<long long>(ms(longest_wait)));
  EXPECT_GT(build_time, 2 * kAnswerWithin) << "the build was over too soon to tell";
  EXPECT_LT(longest_wait, kAnswerWithin)
      << "the window went unpainted for " << ms(longest_wait) << " ms";
}

}  // namespace
}  // namespace talvex::testing
