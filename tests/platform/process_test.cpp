// What the front ends ask of the running process.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <set>
#include <string>
#include <thread>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform_test_support.h"
#include "support/test_support.h"

#ifdef _WIN32
#include "platform/win32/utf.h"
#include "platform/win32/windows_api.h"
#endif

namespace talvex::platform {
namespace {

using testing::PathExists;
using testing::ReadBytes;
using testing::TempDir;

bool AppearsWithin(const std::string& path, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (PathExists(path) && !ReadBytes(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(ProcessTest, ExecutableFolderHoldsThisTestProgram) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), kPathSeparator);
#ifdef _WIN32
  const std::string program = "talvex_platform_tests.exe";
#else
  const std::string program = "talvex_platform_tests";
#endif
  const std::set<std::string> names =
      testing::ListedNames(NativeFileSystem(), folder, kListEverything);
  EXPECT_EQ(names.count(program), 1u) << folder;
}

TEST(ProcessTest, StartProgramRunsTheCommandWithoutWaiting) {
  TempDir dir;
  const std::string marker = dir / "started.txt";
#ifdef _WIN32
  const std::string command = "cmd.exe /c echo started> \"" + marker + "\"";
#else
  const std::string command = "echo started > '" + marker + "'";
#endif
  ASSERT_TRUE(StartProgram(command, 1));
  EXPECT_TRUE(AppearsWithin(marker, std::chrono::seconds(20)));
}

#ifdef _WIN32
TEST(ProcessTest, StartProgramSaysWhenNothingCouldBeStarted) {
  EXPECT_FALSE(StartProgram("talvex_no_such_program_here.exe", 1));
}

TEST(ProcessTest, DecimalSeparatorIsTheOneNumbersAreFormattedWith) {
  wchar_t formatted[64] = {};
  ASSERT_GT(::GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, L"1.5", nullptr, formatted, 64), 0);
  const std::string text = WideToUtf8(formatted);
  const std::string separator = DecimalSeparator();
  ASSERT_FALSE(separator.empty());
  EXPECT_EQ(text.substr(1, separator.size()), separator) << text;
}
#else
TEST(ProcessTest, DecimalSeparatorFollowsTheCurrentLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(DecimalSeparator(), ".");
  std::setlocale(LC_NUMERIC, previous.c_str());
}
#endif

}  // namespace
}  // namespace talvex::platform
