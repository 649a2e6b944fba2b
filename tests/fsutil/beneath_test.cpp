#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fsutil/beneath.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

namespace talvex::fsutil {
namespace {

using platform::FaultInjectingFileSystem;
using platform::FsOperation;
using platform::NativeFileSystem;
using testing::IsDirectory;
using testing::TempDir;

// Makes `relative` below the folder `drive` opened through `fs`, as the build makes its skeleton.
platform::FsStatus MakeBelow(platform::FileSystem& fs, const TempDir& drive,
                             std::string_view relative) {
  std::unique_ptr<platform::Directory> root;
  if (platform::FsStatus opened = fs.OpenDirectory(drive.path(), root); !opened) return opened;
  return MakeDirBeneath(*root, relative);
}

TEST(MakeDirBeneathTest, CreatesTheMissingLevelsLeftToRight) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeBelow(fs, drive, "\\Talvex\\etc\\init.d"));
  EXPECT_EQ(fs.JournalPaths(FsOperation::kCreateDirectory),
            (std::vector<std::string>{drive / "Talvex", drive / "Talvex/etc",
                                      drive / "Talvex/etc/init.d"}));
  EXPECT_TRUE(IsDirectory(drive / "Talvex/etc/init.d"));
}

TEST(MakeDirBeneathTest, AnExistingPathCreatesNothing) {
  TempDir drive;
  testing::MakeDirs(drive / "Talvex/etc/init.d");
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeBelow(fs, drive, "\\Talvex\\etc\\init.d"));
  EXPECT_TRUE(fs.journal().empty());
}

TEST(MakeDirBeneathTest, OneTrailingSeparatorAddsNoLevel) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeBelow(fs, drive, "\\PVR\\"));
  EXPECT_EQ(fs.JournalPaths(FsOperation::kCreateDirectory),
            std::vector<std::string>{drive / "PVR"});
  EXPECT_EQ(testing::TreeListing(drive.path()), std::vector<std::string>{"PVR/"});
}

TEST(MakeDirBeneathTest, APlainFileWhereALevelGoesFailsThere) {
  TempDir drive;
  testing::MakeFile(drive / "Talvex", "not a folder");
  FaultInjectingFileSystem fs(NativeFileSystem());
  for (std::string_view relative : {"\\Talvex\\etc", "\\Talvex"}) {
    platform::FsStatus status = MakeBelow(fs, drive, relative);
    EXPECT_FALSE(status.ok()) << relative;
    EXPECT_GT(status.code, 0);
    EXPECT_EQ(status.path, drive / "Talvex");
  }
  EXPECT_EQ(testing::ReadBytes(drive / "Talvex"), "not a folder");
}

TEST(MakeDirBeneathTest, AHiddenOrSystemDirectoryCountsAsExisting) {
  TempDir drive;
  testing::MakeDirs(drive / "Talvex");
  ASSERT_TRUE(testing::SetAttributes(NativeFileSystem(), drive / "Talvex",
                                     platform::kAttrHidden | platform::kAttrSystem));
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeBelow(fs, drive, "\\Talvex\\etc"));
  EXPECT_EQ(fs.JournalPaths(FsOperation::kCreateDirectory),
            std::vector<std::string>{drive / "Talvex/etc"});
}

TEST(MakeDirBeneathTest, ADriveThatCannotBeReadEndsItAtOnce) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailUnder(FsOperation::kAny, drive.path(), 21, "device not ready");
  platform::FsStatus status = MakeBelow(fs, drive, "\\Talvex\\etc\\init.d");
  EXPECT_EQ(status.code, 21);
  EXPECT_TRUE(fs.journal().empty());
  EXPECT_TRUE(testing::TreeListing(drive.path()).empty());
}

TEST(MakeDirBeneathTest, AFailedCreationKeepsTheLevelsMadeBefore) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailOn(FsOperation::kCreateDirectory, drive / "Talvex/opt/brandeval", 112, "disk full");
  platform::FsStatus status = MakeBelow(fs, drive, "\\Talvex\\opt\\brandeval\\bin");
  EXPECT_EQ(status.code, 112);
  EXPECT_EQ(status.path, drive / "Talvex/opt/brandeval");
  EXPECT_TRUE(IsDirectory(drive / "Talvex/opt"));
  EXPECT_FALSE(testing::PathExists(drive / "Talvex/opt/brandeval"));
}

}  // namespace
}  // namespace talvex::fsutil
