// The recursive folder copy: a merge into an existing folder that goes on past what fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

namespace talvex::platform {
namespace {

using testing::MakeDirs;
using testing::MakeFile;
using testing::PathExists;
using testing::ReadBytes;
using testing::TempDir;
using testing::TreeListing;

std::string In(const std::string& root, std::string_view relative) {
  return testing::Join(root, relative);
}

// CopyTree from the folder `source` into the existing folder `target`, both opened through `fs`,
// so that a wrapper injecting faults sees every step of the copy.
FsStatus CopyFolder(FileSystem& fs, const std::string& source, const std::string& target) {
  std::unique_ptr<Directory> from;
  if (FsStatus opened = fs.OpenDirectory(source, from); !opened) return opened;
  std::unique_ptr<Directory> to;
  if (FsStatus opened = fs.OpenDirectory(target, to); !opened) return opened;
  return CopyTree(*from, *to);
}

class CopyFolderTest : public ::testing::Test {
 protected:
  FileSystem& fs = NativeFileSystem();
  TempDir dir;
  const std::string source = dir / "source";
  const std::string target = dir / "target";

  void MakeSourceTree() {
    MakeFile(In(source, "same.txt"), "new same");
    MakeFile(In(source, "sub/new.txt"), "new in sub");
    MakeFile(In(source, "sub/deeper/x.bin"), std::string("\0\1\2", 3));
    MakeDirs(In(source, "empty"));
  }
};

TEST_F(CopyFolderTest, MergesIntoAnExistingFolderAndReplacesSameNamedFiles) {
  MakeSourceTree();
  MakeFile(In(target, "same.txt"), "old same, longer than the new one");
  MakeFile(In(target, "other.txt"), "kept");
  MakeFile(In(target, "sub/keep.txt"), "kept too");

  ASSERT_TRUE(CopyFolder(fs, source, target).ok());

  EXPECT_EQ(TreeListing(target),
            (std::vector<std::string>{"empty/", "other.txt", "same.txt", "sub/", "sub/deeper/",
                                      "sub/deeper/x.bin", "sub/keep.txt", "sub/new.txt"}));
  EXPECT_EQ(ReadBytes(In(target, "same.txt")), "new same");
  EXPECT_EQ(ReadBytes(In(target, "other.txt")), "kept");
  EXPECT_EQ(ReadBytes(In(target, "sub/deeper/x.bin")), std::string("\0\1\2", 3));
  // The source is only read.
  EXPECT_EQ(TreeListing(source),
            (std::vector<std::string>{"empty/", "same.txt", "sub/", "sub/deeper/",
                                      "sub/deeper/x.bin", "sub/new.txt"}));
}

TEST_F(CopyFolderTest, FailsOnAMissingOrPlainFileSourceWithoutTouchingTheTarget) {
  MakeFile(In(target, "other.txt"), "kept");
  MakeFile(dir / "file.txt", "x");
  const FsStatus missing = CopyFolder(fs, dir / "missing", target);
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.path, dir / "missing");
  const FsStatus file = CopyFolder(fs, dir / "file.txt", target);
  EXPECT_FALSE(file.ok());
  EXPECT_EQ(file.code, NotADirectoryStatus(dir / "file.txt").code);
  EXPECT_EQ(TreeListing(target), (std::vector<std::string>{"other.txt"}));
}

TEST_F(CopyFolderTest, GoesOnPastAFailingFileAndNamesEachOne) {
  MakeFile(In(source, "a.txt"), "a");
  MakeFile(In(source, "b.txt"), "b");
  MakeFile(In(source, "c.txt"), "c");
  MakeFile(In(source, "sub/d.txt"), "d");
  MakeDirs(target);
  FaultInjectingFileSystem faulty(fs);
  faulty.FailOn(FsOperation::kCopyFile, In(target, "b.txt"), 32, "in use");
  faulty.FailOn(FsOperation::kCopyFile, In(target, "sub/d.txt"), 112, "full");

  struct Heard final : CopyListener {
    std::vector<std::string> copied;
    std::vector<FsStatus> failed;
    void Copied(std::string_view relative) override { copied.emplace_back(relative); }
    void Failed(const FsStatus& failure, CopiedEntry entry) override {
      EXPECT_EQ(entry, CopiedEntry::kFile);  // both are files, named so in the report
      failed.push_back(failure);
    }
  } heard;
  std::unique_ptr<Directory> from;
  std::unique_ptr<Directory> to;
  ASSERT_TRUE(faulty.OpenDirectory(source, from).ok());
  ASSERT_TRUE(faulty.OpenDirectory(target, to).ok());
  const FsStatus copied = CopyTree(*from, *to, &heard);

  EXPECT_FALSE(copied.ok());  // the first failure, for callers that only want to know
  ASSERT_EQ(heard.failed.size(), 2u);
  std::vector<std::string> failed_paths{heard.failed[0].path, heard.failed[1].path};
  std::sort(failed_paths.begin(), failed_paths.end());
  EXPECT_EQ(failed_paths, (std::vector<std::string>{In(target, "b.txt"), In(target, "sub/d.txt")}));
  std::sort(heard.copied.begin(), heard.copied.end());
  EXPECT_EQ(heard.copied, (std::vector<std::string>{"\\a.txt", "\\c.txt"}));
  EXPECT_EQ(TreeListing(target), (std::vector<std::string>{"a.txt", "c.txt", "sub/"}));
}

TEST_F(CopyFolderTest, AFolderThatCannotBeCreatedEndsTheCopy) {
  MakeSourceTree();
  MakeDirs(target);
  FaultInjectingFileSystem faulty(fs);
  faulty.FailOn(FsOperation::kCreateDirectory, In(target, "sub"), 5, "refused");
  const FsStatus copied = CopyFolder(faulty, source, target);
  EXPECT_EQ(copied.code, 5);
  EXPECT_EQ(copied.path, In(target, "sub"));
  EXPECT_FALSE(PathExists(In(target, "sub/new.txt")));
}

TEST_F(CopyFolderTest, AnExistingPlainFileWhereAFolderGoesIsAFailure) {
  MakeSourceTree();
  MakeFile(In(target, "sub"), "a file, not a folder");
  EXPECT_FALSE(CopyFolder(fs, source, target).ok());
  EXPECT_EQ(ReadBytes(In(target, "sub")), "a file, not a folder");
}

#ifndef _WIN32
TEST_F(CopyFolderTest, LinksAndSpecialFilesInsideTheSourceAreNamedNeverFollowedOrCopied) {
  MakeSourceTree();
  MakeFile(dir / "outside/secret.txt", "outside");
  std::filesystem::create_directory_symlink(dir / "outside", In(source, "to_outside"));
  std::filesystem::create_symlink(dir / "outside/secret.txt", In(source, "file_link.txt"));
  std::filesystem::create_directory_symlink(source, In(source, "sub/loop"));
  ASSERT_EQ(mkfifo(In(source, "sub/deeper/pipe").c_str(), 0600), 0);
  MakeDirs(target);
  // Everything else is copied (a FIFO must not hang the copy); the copy then fails naming the
  // first entry it would not take.
  const FsStatus copied = CopyFolder(fs, source, target);
  ASSERT_FALSE(copied.ok());
  EXPECT_EQ(copied.reason, kLinkRefused);
  EXPECT_EQ(copied.path.rfind(source, 0), 0u) << copied.path;
  EXPECT_EQ(TreeListing(target),
            (std::vector<std::string>{"empty/", "same.txt", "sub/", "sub/deeper/",
                                      "sub/deeper/x.bin", "sub/new.txt"}));
}
#else
TEST_F(CopyFolderTest, HiddenAndSystemFilesAreCopiedToo) {
  MakeSourceTree();
  ASSERT_TRUE(testing::SetAttributes(fs, In(source, "same.txt"), kAttrHidden | kAttrSystem).ok());
  ASSERT_TRUE(testing::SetAttributes(fs, In(source, "sub"), kAttrHidden).ok());
  MakeDirs(target);
  ASSERT_TRUE(CopyFolder(fs, source, target).ok());
  EXPECT_EQ(ReadBytes(In(target, "same.txt")), "new same");
  EXPECT_EQ(ReadBytes(In(target, "sub/new.txt")), "new in sub");
}
#endif

}  // namespace
}  // namespace talvex::platform
