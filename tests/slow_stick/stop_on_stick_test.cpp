// talvex-build stopped by Ctrl+C while it copies a 1 GiB file onto the slow stick, which holds an
// earlier build: the process ends within a second, and the stick holds the earlier build byte
// for byte, with no temporary beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

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
  const Clock::time_point give_up = Clock::now() + std::chrono::seconds(30);
  while (!CopyingPast(stick.backing() + "/PVR", 16u << 20) && Clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const Clock::time_point asked = Clock::now();
  kill(build, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(build, &status, 0), build);
  const auto took = Clock::now() - asked;

  std::printf(
      "ended %lld ms after Ctrl+C\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  EXPECT_LE(took, std::chrono::seconds(1));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadBytes(output / "out.txt").find("Сборка остановлена"), std::string::npos)
      << ReadBytes(output / "out.txt") << ReadBytes(output / "err.txt");
  EXPECT_TRUE(TreeWithBytes(stick.backing()) == before) << "the earlier build, and nothing else";
}

}  // namespace
}  // namespace talvex::testing
