// What a build does at the edges of its drive: the drive swapped, unmounted or gone mid-build,
// a second build onto it, names that are one file on the stick, and the temporaries of builds
// that were killed.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/session.h"
#include "payload_fixture.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace talvex::build::testing {
namespace {

// Runs `action` once, when the writing has come to the plan's item `at`.
class BeforeStep final : public BuildObserver {
 public:
  BeforeStep(std::size_t at, std::function<void()> action) : at_(at), action_(std::move(action)) {}
  void OnProgress(const BuildProgress& progress) override {
    if (progress.stage == BuildStage::kWriting && progress.step > at_ && action_) {
      std::exchange(action_, nullptr)();
    }
  }

 private:
  std::size_t at_;
  std::function<void()> action_;
};

constexpr std::size_t kMidBuild = 12;  // past the skeleton, before the copies

void ExpectGoneAndSaidOnce(const BuildResult& result) {
  EXPECT_EQ(result.interruption, BuildInterruption::kDriveGone);
  EXPECT_GT(result.steps_not_done, 0u);
  EXPECT_NE(result.interruption_line.find("отключён"), std::string::npos)
      << result.interruption_line;
  EXPECT_LE(result.failures.size(), 1u) << "a vanished drive is said once, not step by step";
}

#ifndef _WIN32
// Whatever sits at the drive's path once the drive went away must come out of the build as it
// went in: the folder a desktop leaves under a mount point, or another folder put in its place.
std::map<std::string, std::string> FolderWithPreciousFile(const std::string& root) {
  MakeFile(platform::JoinPayloadPath(root, "\\mc\\precious.txt"), "the user's own");
  return {{"mc/", ""}, {"mc/precious.txt", "the user's own"}};
}

std::map<std::string, std::string> Contents(const std::string& root) {
  std::map<std::string, std::string> contents;
  for (const std::string& entry : TreeListing(root)) {
    contents[entry] = entry.ends_with('/') ? "" : ReadBytes(talvex::testing::Join(root, entry));
  }
  return contents;
}

// Windows pins every folder a build works in, so its root cannot be renamed under it.
TEST_F(PayloadTest, ARootSwappedMidBuildIsNeverWrittenThroughItsPath) {
  const std::string moved = drive_.path() + ".moved";
  std::map<std::string, std::string> expected;
  BeforeStep swap(kMidBuild, [&] {
    std::filesystem::rename(U8Path(drive_.path()), U8Path(moved));
    expected = FolderWithPreciousFile(drive_.path());
  });
  const BuildResult result =
      RunBuild(fs(), BuildContext{kit_.path(), drive_.path(), SharesPvrAndFtp()}, &swap);
  EXPECT_EQ(Contents(drive_.path()), expected);
  ExpectGoneAndSaidOnce(result);
  // What was written before the swap went to the drive itself, and was taken away again: the
  // drive holds what it held before the build.
  EXPECT_TRUE(TreeListing(moved).empty());
  std::filesystem::remove_all(U8Path(moved));
}

// A desktop lazily unmounts a stick that is pulled: the mount point becomes a plain folder of
// the system disk again, with whatever it held before the stick was mounted over it.
TEST_F(PayloadTest, ALazyUnmountMidBuildLeavesTheFolderUnderTheMountPointAlone) {
  const std::string mount_point = drive_ / "stick";
  const std::map<std::string, std::string> underneath = FolderWithPreciousFile(mount_point);
  if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64m") != 0) {
    GTEST_SKIP() << "SKIPPED: cannot mount a tmpfs here (needs root): " << std::strerror(errno);
  }
  BeforeStep pull(kMidBuild, [&] { ::umount2(mount_point.c_str(), MNT_DETACH); });
  const BuildResult result =
      RunBuild(fs(), BuildContext{kit_.path(), mount_point, SharesPvrAndFtp()}, &pull);
  ::umount2(mount_point.c_str(), MNT_DETACH);  // in case the step was never reached
  EXPECT_EQ(Contents(mount_point), underneath);
  ExpectGoneAndSaidOnce(result);
}
#endif

// The stick pulled for good: every call on it fails. The report says so once, first.
TEST_F(PayloadTest, APulledDriveIsSaidOnceFirstWithTheStepsNotDone) {
  FaultInjectingFileSystem stick(fs());
  BeforeStep pull(kMidBuild, [&] {
    stick.FailUnder(FsOperation::kAny, drive_.path(), 5, "Input/output error");
  });
  const SessionResult session =
      RunSession(stick, {kit_.path(), TargetOfFolder(drive_.path()), SharesPvrAndFtp()}, &pull);
  ExpectGoneAndSaidOnce(session.build);
  const std::vector<std::string>& lines = session.report.lines;
  ASSERT_GE(lines.size(), 5u);
  // One count, once: the steps skipped and the one that met the pull, out of the plan's.
  const std::size_t failed_steps = session.build.failures.empty() ? 0 : 1;
  EXPECT_EQ(lines[3],
            "Не выполнено шагов: " + std::to_string(session.build.steps_not_done + failed_steps) +
                " из " + std::to_string(session.build.steps_total));
  EXPECT_EQ(lines[4], session.build.interruption_line);
  EXPECT_NE(lines[4].find("отключён"), std::string::npos);

  // The system may say the device is gone while its root still answers: the same, from the step
  // that met it.
  FaultInjectingFileSystem dying(fs());
  dying.FailUnder(FsOperation::kCopyFile, drive_.path(), kDeviceGone, "No such device");
  const BuildResult result =
      RunBuild(dying, BuildContext{kit_.path(), drive_.path(), SharesPvrAndFtp()});
  ExpectGoneAndSaidOnce(result);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].path.rfind(Drive("\\Talvex"), 0), 0u) << "names its file";
}

TEST_F(PayloadTest, ASecondBuildOntoTheSameDriveIsRefusedTouchingNothing) {
  std::unique_ptr<platform::Directory> held;
  ASSERT_TRUE(fs().OpenDirectory(drive_.path(), held).ok());
  bool busy = false;
  ASSERT_TRUE(held->LockForBuild(busy).ok());
  FaultInjectingFileSystem watched(fs());
  const BuildResult refused =
      RunBuild(watched, BuildContext{kit_.path(), drive_.path(), SharesPvrAndFtp()});
  EXPECT_TRUE(refused.refused);
  EXPECT_NE(refused.refusal.find("другая сборка"), std::string::npos) << refused.refusal;
  EXPECT_TRUE(watched.journal().empty()) << "not even the kit's token";
  // Another drive from the same kit is fine meanwhile, and this one once the first build ends.
  TempDir other;
  EXPECT_FALSE(RunBuild(fs(), BuildContext{kit_.path(), other.path(), AllUnticked()}).refused);
  held.reset();
  EXPECT_TRUE(Build(SharesPvrAndFtp()).Complete());
}

// Many builds at once onto one drive: each either runs alone or is refused, so the drive always
// holds one build's choice, never a mix of two.
TEST_F(PayloadTest, ConcurrentBuildsOntoOneDriveNeverMixTheirChoices) {
  BuildOptions with_ssh = AllUnticked();
  with_ssh.Chssh = CheckState::kChecked;
  const BuildOptions without_ssh = AllUnticked();
  std::atomic<int> neither{0};
  auto builder = [&](const BuildOptions& options) {
    for (int round = 0; round < 6; ++round) {
      const BuildResult result = Build(options);
      if (!result.refused && !result.Complete()) ++neither;
    }
  };
  std::thread one(builder, std::cref(with_ssh));
  std::thread two(builder, std::cref(without_ssh));
  one.join();
  two.join();
  EXPECT_EQ(neither, 0) << "a build that ran must run whole";
  EXPECT_EQ(PathExists(Drive("\\Talvex\\etc\\init.d\\01_02_sshd.init")),
            PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\bin\\ssh")));
}

#ifndef _WIN32
// A kit unpacked onto a case-sensitive disk may hold two names the stick takes for one.
TEST_F(PayloadTest, TwoKitNamesThatDifferInCaseOnlyAreOneFailureNamingBoth) {
  MakeFile(Kit("\\PVR\\Readme.txt"), "first");
  MakeFile(Kit("\\PVR\\README.txt"), "second");
  BuildOptions options = AllUnticked();
  options.pvr = CheckState::kChecked;
  const BuildResult result = Build(options);
  ASSERT_EQ(result.failures.size(), 1u);
  const StepFailure& failure = result.failures[0];
  const bool readme_first = failure.path == Drive("\\PVR\\README.txt");
  EXPECT_NE(failure.message.find(readme_first ? "Readme.txt" : "README.txt"), std::string::npos)
      << failure.message;
  EXPECT_EQ(PathExists(Drive("\\PVR\\Readme.txt")), readme_first);
  EXPECT_EQ(PathExists(Drive("\\PVR\\README.txt")), !readme_first);
}
#endif

TEST_F(PayloadTest, TemporariesOfKilledBuildsGoThoseOfLiveOnesStay) {
#ifdef _WIN32
  const unsigned long self = GetCurrentProcessId();
#else
  const long self = ::getpid();
#endif
  const std::string dead = Kit("\\Talvex\\etc\\init.d\\.access_nfs.talvex-2147480000-0");
  const std::string live =
      Kit("\\Talvex\\etc\\init.d\\.access_nfs.talvex-" + std::to_string(self) + "-999");
  MakeFile(dead, "half written");
  MakeFile(live, "being written");
  BuildOptions options = AllUnticked();
  options.ChNfs = CheckState::kChecked;
  EXPECT_TRUE(Build(options).Complete());
  EXPECT_FALSE(PathExists(dead));
  EXPECT_TRUE(PathExists(live));
  // Nor does this build leave one of its own.
  std::size_t temporaries = 0;
  for (const std::string& entry : TreeListing(Kit("\\Talvex\\etc\\init.d"))) {
    temporaries += entry.find(".talvex-") != std::string::npos;
  }
  EXPECT_EQ(temporaries, 1u);
}

}  // namespace
}  // namespace talvex::build::testing
