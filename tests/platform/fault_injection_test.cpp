// The fault-injecting wrapper the other suites rely on for failures a privileged user never meets.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

namespace talvex::platform {
namespace {

using testing::MakeDirs;
using testing::MakeFile;
using testing::MakeFolder;
using testing::PathExists;
using testing::TempDir;

// Opens the folder `path` through the wrapper, so that what is done inside passes its checks.
std::unique_ptr<Directory> Open(FaultInjectingFileSystem& faulty, const std::string& path) {
  std::unique_ptr<Directory> folder;
  EXPECT_TRUE(faulty.OpenDirectory(path, folder).ok()) << path;
  return folder;
}

TEST(FaultInjectionTest, FailOnHitsExactlyThatOperationAndPath) {
  TempDir dir;
  MakeFile(dir / "a.txt", "a");
  MakeFile(dir / "b.txt", "b");
  FaultInjectingFileSystem faulty(NativeFileSystem());
  faulty.FailOn(FsOperation::kDeleteFile, dir / "a.txt", 32, "held open");

  const std::unique_ptr<Directory> folder = Open(faulty, dir.path());
  ASSERT_TRUE(folder);
  const FsStatus failed = folder->DeleteFile("a.txt");
  EXPECT_EQ(failed.code, 32);
  EXPECT_EQ(failed.message, "held open");
  EXPECT_EQ(failed.path, dir / "a.txt");
  EXPECT_TRUE(PathExists(dir / "a.txt"));
  // Another operation on the same path, and the same operation elsewhere, go through.
  EXPECT_TRUE(folder->SetAttributes("a.txt", 0).ok());
  EXPECT_TRUE(folder->DeleteFile("b.txt").ok());
  EXPECT_FALSE(PathExists(dir / "b.txt"));
}

TEST(FaultInjectionTest, FailUnderCoversTheSubtreeButNotANameSharingItsPrefix) {
  TempDir dir;
  MakeDirs(dir / "drive");
  MakeDirs(dir / "drive2");
  FaultInjectingFileSystem faulty(NativeFileSystem());
  faulty.FailUnder(FsOperation::kAny, dir / "drive", 21);

  bool exists = false;
  EXPECT_EQ(faulty.Exists(dir / "drive", exists).code, 21);
  EXPECT_EQ(MakeFolder(faulty, dir / "drive/sub").code, 21);
  std::uint32_t attributes = 0;
  EXPECT_EQ(faulty.QueryAttributes(dir / "drive/sub/deeper", attributes).code, 21);
  EXPECT_TRUE(MakeFolder(faulty, dir / "drive2/sub").ok());
  EXPECT_FALSE(PathExists(dir / "drive/sub"));
  EXPECT_TRUE(PathExists(dir / "drive2/sub"));
}

TEST(FaultInjectionTest, RefusingAllChangesLeavesTheDiskAloneAndJournalsEveryAttempt) {
  TempDir dir;
  MakeFile(dir / "file.txt", "content");
  FaultInjectingFileSystem faulty(NativeFileSystem());
  faulty.RefuseAllChanges(5);

  const std::unique_ptr<Directory> folder = Open(faulty, dir.path());
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->WriteFileIn("new.txt", "x").code, 5);
  EXPECT_EQ(folder->DeleteFile("file.txt").code, 5);
  EXPECT_EQ(folder->CopyFileIn("copy.txt", *folder, "file.txt").code, 5);
  EXPECT_EQ(folder->CreateDirectory("folder").code, 5);
  bool exists = false;
  ASSERT_TRUE(faulty.Exists(dir / "file.txt", exists).ok()) << "questions still get answers";
  EXPECT_TRUE(exists);

  EXPECT_EQ(testing::TreeListing(dir.path()), (std::vector<std::string>{"file.txt"}));
  const auto& journal = faulty.journal();
  ASSERT_EQ(journal.size(), 4u);
  EXPECT_EQ(journal[0].operation, FsOperation::kWriteFile);
  EXPECT_EQ(journal[1].operation, FsOperation::kDeleteFile);
  EXPECT_EQ(journal[2].operation, FsOperation::kCopyFile);
  EXPECT_EQ(journal[2].path, dir / "copy.txt");
  EXPECT_EQ(journal[3].operation, FsOperation::kCreateDirectory);
  EXPECT_EQ(faulty.JournalPaths(FsOperation::kDeleteFile),
            (std::vector<std::string>{dir / "file.txt"}));
}

TEST(FaultInjectionTest, ACopyFailsOnItsSourceAsWellAsOnItsTarget) {
  TempDir dir;
  MakeFile(dir / "source.txt", "x");
  FaultInjectingFileSystem faulty(NativeFileSystem());
  faulty.FailOn(FsOperation::kCopyFile, dir / "source.txt", 2);
  const std::unique_ptr<Directory> folder = Open(faulty, dir.path());
  ASSERT_TRUE(folder);
  const FsStatus copied = folder->CopyFileIn("target.txt", *folder, "source.txt");
  EXPECT_EQ(copied.code, 2);
  EXPECT_EQ(copied.path, dir / "source.txt");
  EXPECT_FALSE(PathExists(dir / "target.txt"));
}

}  // namespace
}  // namespace talvex::platform
