// talvex-build killed (SIGKILL, as a pull of the power would) at thirty moments spread over a
// real rebuild: whatever moment it was, the next build ends with exactly what a build from
// scratch leaves, and no temporary of the killed one survives it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "demo_kit.h"
#include "engine/compare.h"
#include "engine/guard.h"
#include "program_runner.h"
#include "support/test_support.h"

namespace talvex::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMoments = 30;

std::string Program() {
  return ProgramInBuildTree(TALVEX_BUILD_PROGRAM);
}

class KillDuringRebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), true).ok());
    // The stick as a user has it: an earlier build with fewer applications and another NFS
    // address, and a file of an older payload that the rebuild removes.
    Build(earlier_.path(), {"--mc", "--switch", "--nfs", "--nfs-ip", "10.0.0.1"});
    MakeFile(earlier_ / "Talvex/etc/init.d/99_old.init", "from an older payload");
  }

  std::vector<std::string> Arguments(const std::string& drive,
                                     const std::vector<std::string>& choices) const {
    std::vector<std::string> arguments = {"--source", kit_.path(), "--target", drive,
                                          "--any-drive"};
    arguments.insert(arguments.end(), choices.begin(), choices.end());
    return arguments;
  }
  void Build(const std::string& drive, const std::vector<std::string>& choices) const {
    const ProgramRun run = RunProgram(Program(), Arguments(drive, choices));
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  }
  void StartFromTheEarlierBuild(const std::string& drive) const {
    std::filesystem::remove_all(drive);
    ASSERT_EQ(RunProgram("/bin/cp", {"-a", earlier_.path(), drive}).exit_code, 0);
  }

  // More applications, another address; and the same with the old payload removed first.
  const std::vector<std::string> rebuild_ = {"--pvr",    "--netsurf", "--mc",     "--switch",
                                             "--arfix2", "--nfs",     "--nfs-ip", "10.0.0.2"};
  const std::vector<std::string> fresh_ = [this] {
    std::vector<std::string> fresh = rebuild_;
    fresh.push_back("--fresh");
    return fresh;
  }();
  TempDir kit_;
  // In memory where the system has a folder there: sixty builds, each ending with a flush of its
  // file system, would otherwise wait on whatever else the disk is writing.
  TempDir earlier_{"/dev/shm"};
  TempDir work_{"/dev/shm"};
};

bool Holds(const std::string& folder, std::string_view prefix) {
  for (const std::string& entry : TreeListing(folder)) {
    if (entry.find(prefix) != std::string::npos) return true;
  }
  return false;
}

// The tokens ".talvex-guard-..." that a killed build left in the kit's folders; how many there
// were. Taken away here so that each kill counts only its own.
int RemoveKitTokens(const std::string& kit) {
  int removed = 0;
  for (const std::string& entry : TreeListing(kit)) {
    if (entry.find(build::kKitTokenPrefix) != std::string::npos) {
      removed += std::filesystem::remove(Join(kit, entry)) ? 1 : 0;
    }
  }
  return removed;
}

std::string FirstDifference(const TreeBytes& one, const TreeBytes& other) {
  for (const auto& [entry, bytes] : one) {
    if (!other.contains(entry)) return entry + " is there only after the kill";
    if (other.at(entry) != bytes) return entry + " holds other bytes";
  }
  for (const auto& [entry, bytes] : other) {
    if (!one.contains(entry)) return entry + " is missing after the kill";
  }
  return "the same";
}

TEST_F(KillDuringRebuildTest, AfterAKillAtAnyMomentTheNextBuildEndsAsAFreshBuild) {
  const std::string reference = work_ / "reference";
  StartFromTheEarlierBuild(reference);
  Build(reference, fresh_);
  const TreeBytes fresh = TreeWithBytes(reference);

  // The rebuild's duration, the middle one of three.
  const std::string drive = work_ / "drive";
  std::vector<Clock::duration> durations;
  for (int run = 0; run < 3; ++run) {
    StartFromTheEarlierBuild(drive);
    const Clock::time_point started = Clock::now();
    Build(drive, rebuild_);
    durations.push_back(Clock::now() - started);
    ASSERT_TRUE(TreeWithBytes(drive) == fresh) << "a rebuild left what a fresh build does";
  }
  std::sort(durations.begin(), durations.end());
  const Clock::duration rebuild = durations[1];

  int killed_with_temporaries = 0;
  int ended_before_the_kill = 0;
  int left_kit_tokens = 0;
  for (int moment = 0; moment < kMoments; ++moment) {
    SCOPED_TRACE("killed at " + std::to_string(moment) + "/" + std::to_string(kMoments));
    StartFromTheEarlierBuild(drive);
    const Clock::time_point start = Clock::now();
    const pid_t build =
        StartProgram(Program(), Arguments(drive, rebuild_), work_ / "out.txt", work_ / "err.txt");
    ASSERT_GT(build, 0);
    std::this_thread::sleep_until(start + rebuild * (2 * moment + 1) / (2 * kMoments));
    kill(build, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(build, &status, 0), build);
    if (WIFEXITED(status)) ++ended_before_the_kill;
    if (Holds(drive, build::kTemporaryPrefix)) ++killed_with_temporaries;
    if (RemoveKitTokens(kit_.path()) > 0) ++left_kit_tokens;

    Build(drive, rebuild_);
    const TreeBytes next = TreeWithBytes(drive);
    EXPECT_TRUE(next == fresh) << "not what a fresh build leaves: " << FirstDifference(next, fresh);
  }
  std::printf(
      "a rebuild took %lld ms; of %d kills, %d left temporaries on the drive, %d left tokens in "
      "the kit, %d came after its end\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(rebuild).count()),
      kMoments, killed_with_temporaries, left_kit_tokens, ended_before_the_kill);
  EXPECT_GT(killed_with_temporaries, 0) << "no kill came while the rebuild wrote";
}

// The kit check puts a token ".talvex-guard-<random>" into the kit's folders for its moment, and
// a build killed meanwhile leaves it there (the sweep above meets that in a few of its kills). No
// later build copies one onto the drive with its folder; one an hour old is nobody's and goes, and
// a younger one may be another build's, checking right now, and stays.
TEST_F(KillDuringRebuildTest, KitTokensNeverReachTheDriveAndOnlyOldOnesAreTakenAway) {
  const std::string old_token = kit_ / "NetSurf/.talvex-guard-0123456789abcdef";
  const std::string recent_token = kit_ / "NetSurf/.talvex-guard-fedcba9876543210";
  MakeFile(old_token);
  MakeFile(recent_token);
  std::filesystem::last_write_time(
      old_token, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  const std::string drive = work_ / "drive";
  StartFromTheEarlierBuild(drive);
  Build(drive, rebuild_);
  EXPECT_FALSE(Holds(drive, build::kKitTokenPrefix));
  EXPECT_FALSE(std::filesystem::exists(old_token));
  EXPECT_TRUE(std::filesystem::exists(recent_token));
}

}  // namespace
}  // namespace talvex::testing
