// talvex-build stopped by Ctrl+C while it copies a 1 GiB file onto the slow stick, which holds an
// earlier build: the process ends within a second, and the stick holds the earlier build byte
// for byte, with no temporary beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>

#include "demo_kit.h"
#include "program_runner.h"
#include "support/slow_stick.h"

namespace talvex::testing {
namespace {

using Clock = std::chrono::steady_clock;

TEST(StopOnStickTest, CtrlCDuringAGigabyteCopyEndsWithinASecondAndKeepsTheEarlierBuild) {
  SlowStick stick;
  if (!stick.unavailable().empty()) GTEST_SKIP() << "SKIPPED: " << stick.unavailable();
  TempDir kit;
  ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit.path(), false).ok());
  const std::vector<std::string> arguments = {"--source",          kit.path(),    "--target",
                                              stick.mount_point(), "--any-drive", "--pvr"};
  const ProgramRun earlier = RunProgram(TALVEX_BUILD_PROGRAM, arguments);
  ASSERT_EQ(earlier.exit_code, 0) << earlier.out << earlier.err;
  const TreeBytes before = TreeWithBytes(stick.backing());
  MakeFile(kit / "PVR/recording.ts");  // 1 GiB that takes no room: a hole from start to end
  std::filesystem::resize_file(kit / "PVR/recording.ts", std::uintmax_t{1} << 30);

  TempDir output;
  const pid_t build =
      StartProgram(TALVEX_BUILD_PROGRAM, arguments, output / "out.txt", output / "err.txt");
  ASSERT_GT(build, 0);
  slow_stick::Within(std::chrono::seconds(30),
                     [&] { return CopyingPast(stick.backing() + "/PVR", 16u << 20); });
  const Clock::time_point asked = Clock::now();
  kill(build, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(build, &status, 0), build);
  ExpectEndedWithinASecondOf("Ctrl+C", Clock::now() - asked);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadBytes(output / "out.txt").find("Сборка остановлена"), std::string::npos)
      << ReadBytes(output / "out.txt") << ReadBytes(output / "err.txt");
  EXPECT_TRUE(TreeWithBytes(stick.backing()) == before) << "the earlier build, and nothing else";
}

}  // namespace
}  // namespace talvex::testing
