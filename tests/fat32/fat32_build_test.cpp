// talvex-build onto a real FAT32 volume, the file system of every flash drive it prepares: each
// case runs through fat32_case.sh, which mounts a fresh image (fusefat) and names it in
// TALVEX_FAT32_TARGET — a mount point natively, a drive letter under Wine. What the build leaves
// there is compared whole with the same build onto the ordinary disk, and with the kit's bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "demo_kit.h"
#include "fat32_support.h"
#include "platform/file_system.h"
#include "program_runner.h"
#include "support/test_support.h"

namespace talvex::testing {
namespace {

// Every choice ticked (ArFix2 rather than its twin, which excludes it), and a Cyrillic share
// name, which reaches the volume as Windows-1251 bytes.
const std::vector<std::string> kEveryChoice = {"--copy-to-tv",
                                               "--auto-start",
                                               "--ftp",
                                               "--ssh",
                                               "--telnet",
                                               "--upnp",
                                               "--mouse-keyboard",
                                               "--wifi",
                                               "--mc",
                                               "--netsurf",
                                               "--pvr",
                                               "--channel-info",
                                               "--switch",
                                               "--arfix2",
                                               "--nfs",
                                               "--nfs-udp",
                                               "--smb",
                                               "--smb-share",
                                               "Фильмы"};

std::vector<std::string> WithChoices(std::vector<std::string> arguments,
                                     const std::vector<std::string>& choices) {
  arguments.insert(arguments.end(), choices.begin(), choices.end());
  return arguments;
}

class Fat32BuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    volume_ = Fat32Volume();
    if (volume_.empty()) GTEST_SKIP() << kNoVolume;
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit_.path(), false).ok());
  }

  ProgramRun Build(const std::string& target, const std::vector<std::string>& choices) const {
    return RunProgram(BuildProgram(), WithChoices(BuildArguments(kit_.path(), target), choices));
  }

  // Runs the same builds onto the ordinary disk and onto the volume; both must end without a
  // failed step.
  void BuildBoth(const std::vector<std::vector<std::string>>& builds) {
    for (const std::vector<std::string>& choices : builds) {
      const ProgramRun reference = Build(reference_.target(), choices);
      ASSERT_EQ(reference.exit_code, 0) << reference.out << reference.err;
      const ProgramRun run = Build(volume_, choices);
      ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    }
  }

  TempDir kit_;
  std::string volume_;
  ReferenceDrive reference_;
};

TEST_F(Fat32BuildTest, FullBuildLeavesTheExpectedTreeWithTheKitsBytes) {
  ASSERT_TRUE(reference_.ready()) << kNoReferenceDrive;
  BuildBoth({kEveryChoice});
  const TreeBytes built = TreeWithBytes(VolumeRoot(volume_));
  EXPECT_EQ(built, TreeWithBytes(reference_.root()));
  ExpectKitBytes(built, kit_.path());
  EXPECT_TRUE(built.contains("Talvex/etc/init.d/access_smb"));
  EXPECT_TRUE(built.contains("PVR/pvr.ini"));
}

#ifndef _WIN32
// Under Wine the driver cannot take a rebuild (it has no chmod), so these run natively only.

TEST_F(Fat32BuildTest, SecondBuildOverTheFirstLeavesWhatItLeavesOnTheOrdinaryDisk) {
  BuildBoth({kEveryChoice, {"--ftp", "--mc", "--no-smb", "--nfs-ip", "10.0.0.7"}});
  const TreeBytes built = TreeWithBytes(VolumeRoot(volume_));
  EXPECT_EQ(built, TreeWithBytes(reference_.root()));
  ExpectKitBytes(built, kit_.path());
  EXPECT_FALSE(built.contains("Talvex/etc/init.d/access_smb")) << "the second build has no SMB";
  EXPECT_TRUE(built.contains("PVR/pvr.ini")) << "an application unticked later stays";
}

// A stick whose folders were made by another tool, in another letter case: FAT32 takes "TALVEX"
// and "Talvex" for one name, so the build must remove the old folder and make its own, never
// keep the old one's contents or put a second folder beside it.
TEST_F(Fat32BuildTest, OldFoldersInAnotherLetterCaseAreReplacedNotKeptBeside) {
  MakeFile(Join(volume_, "TALVEX/etc/old.init"), "old payload");
  MakeFile(Join(volume_, "TALVEX/OLD/deep.txt"), "old payload");
  MakeFile(Join(volume_, "pvr/OLD.TXT"), "old pvr");
  MakeFile(Join(volume_, "MC/old.txt"), "old mc");
  BuildBoth({{"--pvr", "--mc"}});

  std::vector<std::string> top;
  for (const auto& [path, bytes] : TreeWithBytes(volume_)) {
    if (path.find('/') == path.size() - 1) top.push_back(path);
  }
  EXPECT_EQ(top, (std::vector<std::string>{"PVR/", "Talvex/", "mc/"}));
  const TreeBytes built = TreeWithBytes(volume_);
  EXPECT_EQ(built, TreeWithBytes(reference_.root()));
  ExpectKitBytes(built, kit_.path());
}

// A volume that fills up part-way: every step that cannot be done is named in the report, the
// build goes on to the end and exits 1, and the kit it copies from is left as a build that
// succeeds leaves it (its generated files written, nothing else touched).
// On FAT32 one folder answers to every spelling of its name: a kit on the stick must be seen
// as the kit whichever letters the target is typed in.
TEST_F(Fat32BuildTest, AKitOnTheStickIsNeverRemovedWhateverLettersNameIt) {
  struct Case {
    const char* kit;     // on the volume, as created
    const char* target;  // on the volume, as typed; "" for the volume itself
  };
  for (const Case& c : {Case{"KIT", "kit"}, Case{"talvex/kit", ""}}) {
    const std::string kit = Join(volume_, c.kit);
    ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit, false).ok());
    const TreeBytes before = TreeWithBytes(kit);
    const std::string target = *c.target == '\0' ? volume_ : Join(volume_, c.target);
    const ProgramRun run =
        RunProgram(BuildProgram(), WithChoices(BuildArguments(kit, target), kEveryChoice));
    EXPECT_EQ(run.exit_code, 2) << c.kit << " -> " << target << "\n" << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(TreeWithBytes(kit), before) << c.kit;
  }
}

TEST_F(Fat32BuildTest, FullVolumeIsReportedStepByStepWithTheKitIntact) {
  const ProgramRun run = Build(volume_, kEveryChoice);
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  const std::size_t failed = FailedStepCount(run.out);
  EXPECT_GT(failed, 0u) << run.out;
  const std::vector<std::string> named = FailureLines(run.out);
  // Every failure is named, a folder copy's for each of its files: at least one line a step.
  EXPECT_GE(named.size(), failed) << run.out;
  for (const std::string& line : named) {
    EXPECT_NE(line.find("\"" + volume_), std::string::npos) << "not a path on the volume: " << line;
  }
  EXPECT_TRUE(IsDirectory(Join(volume_, "Talvex/etc/init.d"))) << "the start of the build is there";

  TempDir untouched_kit;
  ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), untouched_kit.path(), false).ok());
  const ProgramRun reference = RunProgram(
      BuildProgram(),
      WithChoices(BuildArguments(untouched_kit.path(), reference_.target()), kEveryChoice));
  ASSERT_EQ(reference.exit_code, 0) << reference.out << reference.err;
  EXPECT_EQ(TreeWithBytes(kit_.path()), TreeWithBytes(untouched_kit.path()));
}
#endif

}  // namespace
}  // namespace talvex::testing
