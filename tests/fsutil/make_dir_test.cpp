#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fsutil/tree.h"
#include "support/fault_injecting_file_system.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/test_support.h"

namespace talvex::fsutil {
namespace {

using platform::FaultInjectingFileSystem;
using platform::FsOperation;
using platform::NativeFileSystem;
using testing::IsDirectory;
using testing::TempDir;

const std::string kSep(1, platform::kPathSeparator);

TEST(MakeDirTest, CreatesTheMissingLevelsLeftToRight) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeDir(fs, drive / "Talvex/etc/init.d"));
  EXPECT_EQ(fs.JournalPaths(FsOperation::kCreateDirectory),
            (std::vector<std::string>{drive / "Talvex", drive / "Talvex/etc",
                                      drive / "Talvex/etc/init.d"}));
  EXPECT_TRUE(IsDirectory(drive / "Talvex/etc/init.d"));
}

TEST(MakeDirTest, AnExistingPathCreatesNothing) {
  TempDir drive;
  testing::MakeDirs(drive / "Talvex/etc/init.d");
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeDir(fs, drive / "Talvex/etc/init.d"));
  EXPECT_TRUE(fs.journal().empty());
}

TEST(MakeDirTest, OneTrailingSeparatorAddsNoLevel) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeDir(fs, drive / "PVR" + kSep));
  EXPECT_EQ(fs.JournalPaths(FsOperation::kCreateDirectory),
            std::vector<std::string>{drive / "PVR"});
  EXPECT_EQ(testing::TreeListing(drive.path()), std::vector<std::string>{"PVR/"});
}

TEST(MakeDirTest, APlainFileInThePathFailsAtTheNextLevel) {
  TempDir drive;
  testing::MakeFile(drive / "Talvex", "not a folder");
  FaultInjectingFileSystem fs(NativeFileSystem());
  platform::FsStatus status = MakeDir(fs, drive / "Talvex/etc");
  EXPECT_FALSE(status.ok());
  EXPECT_GT(status.code, 0);
  EXPECT_EQ(status.path, drive / "Talvex/etc");
  EXPECT_EQ(testing::ReadBytes(drive / "Talvex"), "not a folder");

  // As the last level, the file is taken for the path and nothing fails.
  EXPECT_TRUE(MakeDir(fs, drive / "Talvex"));
}

TEST(MakeDirTest, AHiddenOrSystemDirectoryCountsAsExisting) {
  TempDir drive;
  testing::MakeDirs(drive / "Talvex");
  ASSERT_TRUE(NativeFileSystem().SetAttributes(drive / "Talvex",
                                               platform::kAttrHidden | platform::kAttrSystem));
  FaultInjectingFileSystem fs(NativeFileSystem());
  EXPECT_TRUE(MakeDir(fs, drive / "Talvex/etc"));
  EXPECT_EQ(fs.JournalPaths(FsOperation::kCreateDirectory),
            std::vector<std::string>{drive / "Talvex/etc"});
}

TEST(MakeDirTest, ADriveThatCannotBeReadEndsItAtOnce) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailUnder(FsOperation::kAny, drive.path(), 21, "device not ready");
  platform::FsStatus status = MakeDir(fs, drive / "Talvex/etc/init.d");
  EXPECT_EQ(status.code, 21);
  EXPECT_TRUE(fs.journal().empty());
  EXPECT_TRUE(testing::TreeListing(drive.path()).empty());
}

TEST(MakeDirTest, AFailedCreationKeepsTheLevelsMadeBefore) {
  TempDir drive;
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailOn(FsOperation::kCreateDirectory, drive / "Talvex/opt/brandeval", 112, "disk full");
  platform::FsStatus status = MakeDir(fs, drive / "Talvex/opt/brandeval/bin");
  EXPECT_EQ(status.code, 112);
  EXPECT_EQ(status.path, drive / "Talvex/opt/brandeval");
  EXPECT_TRUE(IsDirectory(drive / "Talvex/opt"));
  EXPECT_FALSE(testing::PathExists(drive / "Talvex/opt/brandeval"));
}

}  // namespace
}  // namespace talvex::fsutil
