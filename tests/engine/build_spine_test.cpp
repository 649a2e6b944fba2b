#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/end_state.h"
#include "engine/guard.h"
#include "engine/run_build.h"
#include "options/build_options.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace talvex::build {
namespace {

using options::BuildOptions;
using options::CheckState;
using platform::FaultInjectingFileSystem;
using platform::FsOperation;
using platform::NativeFileSystem;
using testing::KitDir;
using testing::TempDir;

// Options with nothing that writes or copies beyond the skeleton and the core files.
BuildOptions NothingTicked() {
  BuildOptions options;
  options.Chupnp = CheckState::kUnchecked;
  options.ChNfs = CheckState::kUnchecked;
  options.Chsmb = CheckState::kUnchecked;
  return options;
}

std::vector<std::string> Directories(const std::string& root) {
  std::vector<std::string> directories;
  for (const std::string& entry : testing::TreeListing(root)) {
    if (entry.back() == '/') directories.push_back(entry);
  }
  return directories;
}

const std::vector<std::string> kSkeleton = {
    "Talvex/",
    "Talvex/etc/",
    "Talvex/etc/init.d/",
    "Talvex/lib/",
    "Talvex/lib/modules/",
    "Talvex/lib/modules/mak/",
    "Talvex/lib/modules/treasure/",
    "Talvex/opt/",
    "Talvex/opt/brandeval/",
    "Talvex/opt/brandeval/bin/",
    "Talvex/opt/brandeval/lib/",
    "Talvex/opt/brandeval/usr/",
    "Talvex/opt/brandeval/usr/bin/",
    "Talvex/opt/brandeval/usr/sbin/",
};

TEST(BuildSpineTest, ReplacesTheOldPayloadWithTheSkeleton) {
  KitDir kit;
  TempDir drive;
  testing::MakeFile(drive / "Talvex/old/stale.bin", "from an earlier build");
  testing::MakeFile(drive / "Talvex/etc/init.d/99_old.init", "old");
  testing::MakeFile(drive / "Talvex/readonly.txt", "r");
  ASSERT_TRUE(testing::SetAttributes(NativeFileSystem(), drive / "Talvex/readonly.txt",
                                     platform::kAttrReadOnly));
  testing::MakeFile(drive / "mine/photo.jpg", "the user's own");

  const BuildOptions options = NothingTicked();
  BuildResult result = RunBuild(NativeFileSystem(), {kit.path(), drive.path(), options});

  ASSERT_FALSE(result.refused) << result.refusal;
  std::vector<std::string> expected = kSkeleton;
  expected.push_back("mine/");
  EXPECT_EQ(Directories(drive.path()), expected);
  EXPECT_FALSE(testing::PathExists(drive / "Talvex/old/stale.bin"));
  EXPECT_FALSE(testing::PathExists(drive / "Talvex/readonly.txt"));
  EXPECT_EQ(testing::ReadBytes(drive / "mine/photo.jpg"), "the user's own");
  for (const StepFailure& failure : result.failures) {
    EXPECT_NE(failure.action, "Удаление папки") << failure.path;
    EXPECT_NE(failure.action, "Создание папки") << failure.path;
  }
}

TEST(BuildSpineTest, ThePlanBeginsWithTheSkeletonEachLevelOnceInOrder) {
  KitDir kit;
  const BuildOptions options = NothingTicked();
  const BuildContext context{kit.path(), "/drive", options};
  BuildRun run(NativeFileSystem(), context);
  const BuildPlan plan = PlanBuild(run);
  std::vector<std::string> folders;
  for (const PlanItem& item : plan.items) {
    if (item.kind != ItemKind::kFolder) continue;
    std::string slashed = item.relative.substr(1) + "/";
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    folders.push_back(slashed);
  }
  EXPECT_EQ(folders, kSkeleton);
  EXPECT_EQ(plan.owned, std::vector<std::string>{"\\Talvex"});
}

TEST(BuildSpineTest, FailedStepsAreRecordedAndTheBuildGoesOn) {
  KitDir kit;
  TempDir drive;
  testing::MakeFile(drive / "Talvex/lib/busy.ko", "held open");
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailOn(FsOperation::kDeleteFile, drive / "Talvex/lib/busy.ko", 32, "in use");
  fs.FailOnName(FsOperation::kCreateDirectory, "brandeval", 5, "denied");

  const BuildOptions options = NothingTicked();
  BuildResult result = RunBuild(fs, {kit.path(), drive.path(), options});

  auto failed = [&](const std::string& action, const std::string& path) {
    return std::count_if(result.failures.begin(), result.failures.end(),
                         [&](const auto& f) { return f.action == action && f.path == path; });
  };
  EXPECT_EQ(failed("Удаление файла", drive / "Talvex/lib/busy.ko"), 1);
  // The folder that could not be made is named once; each folder below it fails on its own.
  EXPECT_EQ(failed("Создание папки", drive / "Talvex/opt/brandeval"), 1);
  EXPECT_EQ(failed("Создание папки", drive / "Talvex/opt/brandeval/usr/sbin"), 1);
  // The steps that could run did: the file in use stayed, the rest of the skeleton is there.
  EXPECT_TRUE(testing::PathExists(drive / "Talvex/lib/busy.ko"));
  EXPECT_TRUE(testing::IsDirectory(drive / "Talvex/etc/init.d"));
  EXPECT_TRUE(testing::IsDirectory(drive / "Talvex/lib/modules/treasure"));
  EXPECT_TRUE(testing::IsDirectory(drive / "Talvex/opt"));
  EXPECT_FALSE(testing::PathExists(drive / "Talvex/opt/brandeval"));
  for (const StepFailure& failure : result.failures) EXPECT_GT(failure.code, 0);
}

// A drive that cannot even be opened is said once, with every step counted as not done, instead
// of one line per step that could not reach it.
TEST(BuildSpineTest, ADriveThatIsNotReadyIsSaidOnceAndTheBuildStillEnds) {
  KitDir kit;
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailUnder(FsOperation::kAny, drive.path(), 21, "not ready");
  const BuildOptions options = NothingTicked();
  BuildResult result = RunBuild(fs, {kit.path(), drive.path(), options});
  EXPECT_FALSE(result.refused);
  EXPECT_EQ(result.interruption, BuildInterruption::kDriveGone);
  EXPECT_EQ(result.drive_unavailable.rfind("Диск \"" + drive.path() + "\" недоступен: ", 0), 0u)
      << result.drive_unavailable;
  EXPECT_TRUE(result.failures.empty());
  EXPECT_FALSE(result.Complete());
  EXPECT_EQ(result.size_bytes, 0);
}

// A step holds the folder it asked for first while it asks for a second (a copy's source, then
// its target): however many folders the run has opened, the first stays usable.
TEST(BuildRunTest, TheFolderHandedOutLastSurvivesWhenTheRunLetsFoldersGo) {
  TempDir root;
  constexpr int kFolders = 150;
  for (int i = 0; i < kFolders; ++i) testing::MakeDirs(root / ("d" + std::to_string(i)));
  const BuildOptions options;
  const BuildContext context{root.path(), root.path(), options};
  BuildRun run(NativeFileSystem(), context);
  platform::Directory* previous = nullptr;
  ASSERT_TRUE(run.DriveFolder("\\d0", previous).ok());
  for (int i = 1; i < kFolders; ++i) {
    platform::Directory* next = nullptr;
    ASSERT_TRUE(run.DriveFolder("\\d" + std::to_string(i), next).ok());
    ASSERT_EQ(previous->path(), root / ("d" + std::to_string(i - 1)));
    EXPECT_TRUE(
        previous->List([](const platform::DirEntry&) { return true; }, platform::ListDetail::kTypes)
            .ok());
    previous = next;
  }
}

TEST(BuildOverlapTest, RefusesATargetThatWouldRemoveTheKit) {
  TempDir root;
  testing::MakeFile(root / "Talvex/rcTVX", "master");
  testing::MakeFile(root / "PVR/pvr.ini", "master");
  testing::MakeFile(root / "Talvex/kit/Talvex/rcTVX", "master");
  testing::MakeFile(root / "PVR/Talvex/rcTVX", "master");
  BuildOptions options = NothingTicked();
  options.pvr = CheckState::kChecked;

  struct Case {
    std::string source;
    std::string target;
  };
  const std::vector<Case> refused = {
      {root.path(), root.path()},          // started from the drive's root
      {root / "Talvex/kit", root.path()},  // the kit lies inside the payload folder
      {root / "PVR", root.path()},         // ...or inside a ticked application folder
      {root.path() + platform::kPathSeparator, root.path()},
  };
  for (const Case& c : refused) {
    FaultInjectingFileSystem fs(NativeFileSystem());
    BuildResult result = RunBuild(fs, {c.source, c.target, options});
    EXPECT_TRUE(result.refused) << c.source << " -> " << c.target;
    EXPECT_FALSE(result.refusal.empty());
    EXPECT_TRUE(fs.JournalWithout(kKitTokenPrefix).empty()) << "a refused build touched the disk";
  }
  EXPECT_EQ(testing::ReadBytes(root / "Talvex/rcTVX"), "master");

  // A kit elsewhere on the same drive is fine.
  TempDir drive;
  testing::MakeFile(drive / "kit/Talvex/rcTVX", "master");
  BuildResult allowed = RunBuild(NativeFileSystem(), {drive / "kit", drive.path(), options});
  EXPECT_FALSE(allowed.refused) << allowed.refusal;
}

#ifndef _WIN32
TEST(BuildOverlapTest, ComparesResolvedPathsNotTexts) {
  TempDir dir;
  testing::MakeFile(dir / "kit/Talvex/rcTVX", "master");
  testing::MakeDirs(dir / "drive");
  // The payload folder on the drive is a link to the kit's master folder.
  ASSERT_EQ(symlink((dir / "kit/Talvex").c_str(), (dir / "drive/Talvex").c_str()), 0);
  const BuildOptions options = NothingTicked();
  FaultInjectingFileSystem fs(NativeFileSystem());
  BuildResult result = RunBuild(fs, {dir / "kit", dir / "drive", options});
  EXPECT_TRUE(result.refused);
  EXPECT_TRUE(fs.JournalWithout(kKitTokenPrefix).empty());
  EXPECT_EQ(testing::ReadBytes(dir / "kit/Talvex/rcTVX"), "master");

  // The kit reached through a link to the drive's root.
  ASSERT_EQ(symlink((dir / "drive").c_str(), (dir / "alias").c_str()), 0);
  EXPECT_TRUE(RunBuild(fs, {dir / "alias", dir / "drive", options}).refused);
}
#endif

}  // namespace
}  // namespace talvex::build
