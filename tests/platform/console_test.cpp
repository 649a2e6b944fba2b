#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/console.h"

#ifdef _WIN32
#include <cstdlib>

#include "platform/win32/windows_api.h"
#endif

namespace talvex::platform {
namespace {

#ifdef _WIN32

TEST(ConsoleTest, ArgumentsComeFromTheWideCommandLine) {
  // The narrow argv is ignored: what counts is what the process was started with.
  const std::vector<std::string> arguments = CommandLineArguments(0, nullptr);
  ASSERT_EQ(arguments.size(), static_cast<std::size_t>(__argc - 1));
  for (int i = 1; i < __argc; ++i) {
    EXPECT_EQ(arguments[static_cast<std::size_t>(i - 1)], __argv[i]);
  }
}

TEST(ConsoleTest, TheConsoleGetsItsCodePageBack) {
  const UINT before = ::GetConsoleOutputCP();
  {
    const ConsoleStreams streams;
    if (before != 0) {
      EXPECT_EQ(::GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    }
  }
  EXPECT_EQ(::GetConsoleOutputCP(), before);
}

#else

TEST(ConsoleTest, ArgumentsAreThoseAfterTheProgramsName) {
  char program[] = "talvex-build";
  char flag[] = "--smb-share";
  char value[] = "\xD0\xB4\xD0\xBE\xD0\xBC";  // "дом" in UTF-8, passed through unchanged
  char* argv[] = {program, flag, value, nullptr};
  EXPECT_EQ(CommandLineArguments(3, argv),
            (std::vector<std::string>{"--smb-share", "\xD0\xB4\xD0\xBE\xD0\xBC"}));
  EXPECT_TRUE(CommandLineArguments(1, argv).empty());
  EXPECT_TRUE(CommandLineArguments(0, argv).empty());
}

#endif

}  // namespace
}  // namespace talvex::platform
