#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fsutil/tree.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvex::fsutil {
namespace {

using platform::FaultInjectingFileSystem;
using platform::FsOperation;
using platform::NativeFileSystem;
using testing::IsDirectory;
using testing::MakeFile;
using testing::PathExists;
using testing::ReadBytes;
using testing::TempDir;
using testing::TreeListing;

const std::string kSep(1, platform::kPathSeparator);

// The tree at `path` removed as the build removes one: through a handle of the folder that
// holds it, by its name there.
DelTreeOutcome DelTreeAt(platform::FileSystem& fs, const std::string& path,
                         const std::vector<platform::FileId>& protect = {}) {
  std::unique_ptr<platform::Directory> parent;
  const platform::FsStatus opened = fs.OpenDirectory(platform::ParentFolder(path), parent);
  EXPECT_TRUE(opened.ok()) << opened.message << ' ' << path;
  if (!opened) return {};
  return DelTreeBelow(*parent, platform::LastName(path), protect);
}

// Names of the entries of `directory` in the order the platform lists them, so tests about
// "whatever comes after it in the listing" do not depend on one file system's order.
std::vector<std::string> ListingOrder(const std::string& directory) {
  std::vector<std::string> names;
  NativeFileSystem().ListDirectory(directory, platform::kListEverything,
                                   [&](const platform::DirEntry& entry) {
                                     names.emplace_back(entry.name);
                                     return true;
                                   });
  return names;
}

void MakeSampleTree(const TempDir& dir) {
  MakeFile(dir / "Talvex/rcTVX", "#!/bin/sh\n");
  MakeFile(dir / "Talvex/etc/init.d/01_01_telnet.init", "telnet");
  MakeFile(dir / "Talvex/lib/modules/treasure/rt73.ko", std::string(4096, 'x'));
  testing::MakeDirs(dir / "Talvex/opt/brandeval/usr/sbin");
}

TEST(DelTreeTest, RefusesWhatIsNoDirectoryTreeAndTouchesNothing) {
  TempDir dir;
  MakeFile(dir / "Talvex/keep.txt", "keep");
  MakeFile(dir / "plain.txt", "file");
  FaultInjectingFileSystem guarded(NativeFileSystem());
  guarded.RefuseAllChanges(5);  // a bug here must not reach the disk
  const std::vector<std::string> refused = {dir / "missing", dir / "missing" + kSep,
                                            dir / "plain.txt"};
  for (const std::string& path : refused) {
    EXPECT_EQ(DelTreeAt(guarded, path).result, kDelTreeRefused) << '"' << path << '"';
  }
  EXPECT_TRUE(guarded.journal().empty()) << "a refused call touched the disk";
  EXPECT_EQ(testing::ReadBytes(dir / "plain.txt"), "file");
  EXPECT_EQ(testing::ReadBytes(dir / "Talvex/keep.txt"), "keep");
}

TEST(DelTreeTest, RemovesAPopulatedTreeWithOrWithoutASeparatorAtItsEnd) {
  for (const std::string& suffix : {std::string(), kSep}) {
    TempDir dir;
    MakeSampleTree(dir);
    MakeFile(dir / "outside.txt", "stays");
    EXPECT_EQ(DelTreeAt(NativeFileSystem(), (dir / "Talvex") + suffix).result, kDelTreeRemoved);
    EXPECT_FALSE(PathExists(dir / "Talvex"));
    EXPECT_EQ(TreeListing(dir.path()), std::vector<std::string>{"outside.txt"});
  }
}

TEST(DelTreeTest, ClearsReadOnlyHiddenAndSystemFilesBeforeDeleting) {
  TempDir dir;
  MakeFile(dir / "Talvex/readonly.bin", "r");
  MakeFile(dir / "Talvex/sub/hidden.bin", "h");
  MakeFile(dir / "Talvex/sub/system.bin", "s");
  platform::FileSystem& fs = NativeFileSystem();
  ASSERT_TRUE(testing::SetAttributes(fs, dir / "Talvex/readonly.bin", platform::kAttrReadOnly));
  // Hidden and system exist only on Windows; elsewhere the calls leave plain files.
  ASSERT_TRUE(testing::SetAttributes(fs, dir / "Talvex/sub/hidden.bin", platform::kAttrHidden));
  ASSERT_TRUE(testing::SetAttributes(fs, dir / "Talvex/sub/system.bin", platform::kAttrSystem));
  ASSERT_TRUE(testing::SetAttributes(fs, dir / "Talvex/sub/system.bin",
                                     platform::kAttrSystem | platform::kAttrReadOnly));

  FaultInjectingFileSystem recorded(fs);
  EXPECT_EQ(DelTreeAt(recorded, dir / "Talvex").result, kDelTreeRemoved);
  EXPECT_FALSE(PathExists(dir / "Talvex"));
#ifdef _WIN32
  // Where attributes refuse a delete, they are cleared first. On POSIX no file attribute stands
  // in the way of deleting, and the removal does not look at them.
  std::vector<std::string> cleared = recorded.JournalPaths(FsOperation::kSetAttributes);
  EXPECT_NE(std::find(cleared.begin(), cleared.end(), dir / "Talvex/readonly.bin"), cleared.end());
  EXPECT_NE(std::find(cleared.begin(), cleared.end(), dir / "Talvex/sub/hidden.bin"),
            cleared.end());
  EXPECT_NE(std::find(cleared.begin(), cleared.end(), dir / "Talvex/sub/system.bin"),
            cleared.end());
#endif
}

TEST(DelTreeTest, RemovesNestedDirectoriesInnermostFirst) {
  TempDir dir;
  testing::MakeDirs(dir / "A/B");
  FaultInjectingFileSystem recorded(NativeFileSystem());
  EXPECT_EQ(DelTreeAt(recorded, dir / "A").result, kDelTreeRemoved);
  EXPECT_EQ(recorded.JournalPaths(FsOperation::kRemoveDirectory),
            (std::vector<std::string>{dir / "A/B", dir / "A"}));
}

// A file in use deep inside the tree: the removal ends with its error code, and what is left is
// exactly that file, every file after it in its directory's listing, every subdirectory of its
// directory, the directories enclosing it, and the subdirectories queued after the one being
// removed at each enclosing level.
void CheckWhatAFileInUseLeaves(platform::FileSystem& fs, const TempDir& dir,
                               std::int32_t expected_code) {
  const std::string root = dir / "Talvex";
  const std::vector<std::string> lib_order = ListingOrder(dir / "Talvex/lib");
  const std::vector<std::string> top_order = ListingOrder(root);
  EXPECT_EQ(DelTreeAt(fs, root).result, expected_code);

  EXPECT_TRUE(PathExists(dir / "Talvex/lib/busy.ko"));
  EXPECT_TRUE(IsDirectory(dir / "Talvex/lib/inner"));
  EXPECT_TRUE(PathExists(dir / "Talvex/lib/inner/deep.txt"));
  EXPECT_FALSE(PathExists(dir / "Talvex/top.txt")) << "files of an enclosing level go first";

  const auto busy = std::find(lib_order.begin(), lib_order.end(), "busy.ko");
  for (auto it = lib_order.begin(); it != lib_order.end(); ++it) {
    if (*it == "inner" || *it == "busy.ko") continue;
    // Before the busy file: deleted. After it: left in place.
    EXPECT_EQ(PathExists(dir / ("Talvex/lib/" + *it)), it > busy) << *it;
  }
  // At the top level "etc" and "opt" are removed when queued before "lib", kept when after.
  const auto lib = std::find(top_order.begin(), top_order.end(), "lib");
  for (const char* sibling : {"etc", "opt"}) {
    const bool queued_after = std::find(top_order.begin(), top_order.end(), sibling) > lib;
    EXPECT_EQ(PathExists(dir / ("Talvex/" + std::string(sibling))), queued_after) << sibling;
  }
  EXPECT_TRUE(IsDirectory(root));
}

void MakeTreeWithBusyFile(const TempDir& dir) {
  MakeFile(dir / "Talvex/top.txt", "t");
  MakeFile(dir / "Talvex/etc/rc.sysinit", "e");
  MakeFile(dir / "Talvex/opt/brandeval/bin/unzip", "o");
  MakeFile(dir / "Talvex/lib/a.ko", "a");
  MakeFile(dir / "Talvex/lib/busy.ko", "b");
  MakeFile(dir / "Talvex/lib/z.ko", "z");
  MakeFile(dir / "Talvex/lib/inner/deep.txt", "d");
}

TEST(DelTreeTest, AFileInUseStopsTheRemovalInjected) {
  TempDir dir;
  MakeTreeWithBusyFile(dir);
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailOn(FsOperation::kDeleteFile, dir / "Talvex/lib/busy.ko", 32, "in use");
  DelTreeOutcome outcome = DelTreeAt(fs, dir / "Talvex");
  EXPECT_EQ(outcome.failure.path, dir / "Talvex/lib/busy.ko");
  EXPECT_EQ(outcome.failure.message, "in use");
  TempDir fresh;
  MakeTreeWithBusyFile(fresh);
  FaultInjectingFileSystem again(NativeFileSystem());
  again.FailOn(FsOperation::kDeleteFile, fresh / "Talvex/lib/busy.ko", 32, "in use");
  CheckWhatAFileInUseLeaves(again, fresh, 32);
}

#ifdef _WIN32
TEST(DelTreeTest, AFileHeldOpenWithoutSharingStopsTheRemoval) {
  TempDir dir;
  MakeTreeWithBusyFile(dir);
  std::wstring busy;
  for (char c : dir / "Talvex/lib/busy.ko") busy += static_cast<wchar_t>(c);  // ASCII temp path
  HANDLE held = CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CheckWhatAFileInUseLeaves(NativeFileSystem(), dir, ERROR_SHARING_VIOLATION);
  CloseHandle(held);
  EXPECT_EQ(DelTreeAt(NativeFileSystem(), dir / "Talvex").result, kDelTreeRemoved)
      << "once it is closed";
}
#endif

TEST(DelTreeTest, AnUnlistableDirectoryFailsAndStays) {
  TempDir dir;
  MakeFile(dir / "Talvex/etc/rc.sysinit", "e");
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailOn(FsOperation::kListDirectory, dir / "Talvex/etc", 5, "denied");
  // The latest failure is the removal of the directory that could not be emptied.
  EXPECT_GT(DelTreeAt(fs, dir / "Talvex").result, 0);
  EXPECT_TRUE(PathExists(dir / "Talvex/etc/rc.sysinit"));

  TempDir empty;
  testing::MakeDirs(empty / "Talvex");
  FaultInjectingFileSystem unlistable(NativeFileSystem());
  unlistable.FailOn(FsOperation::kListDirectory, empty / "Talvex", 5, "denied");
  EXPECT_EQ(DelTreeAt(unlistable, empty / "Talvex").result, 5) << "never 0 when the listing failed";
  EXPECT_FALSE(PathExists(empty / "Talvex")) << "an empty directory still goes";
}

#ifdef _WIN32
TEST(DelTreeTest, AFailedAttributeChangeStopsBeforeTheDelete) {
  TempDir dir;
  MakeFile(dir / "Talvex/locked.bin", "l");
  ASSERT_TRUE(testing::SetAttributes(NativeFileSystem(), dir / "Talvex/locked.bin",
                                     platform::kAttrReadOnly));
  FaultInjectingFileSystem fs(NativeFileSystem());
  fs.FailOn(FsOperation::kSetAttributes, dir / "Talvex/locked.bin", 5);
  EXPECT_EQ(DelTreeAt(fs, dir / "Talvex").result, 5);
  EXPECT_TRUE(PathExists(dir / "Talvex/locked.bin"));
  EXPECT_TRUE(fs.JournalPaths(FsOperation::kDeleteFile).empty());
}
#endif

#ifndef _WIN32
TEST(DelTreeTest, LinksAreRemovedAsEntriesAndNeverEntered) {
  TempDir dir;
  MakeFile(dir / "elsewhere/precious.txt", "keep me");
  MakeFile(dir / "lonely.txt", "keep me too");
  MakeFile(dir / "Talvex/etc/rc.sysinit", "x");
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "Talvex/dirlink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "lonely.txt").c_str(), (dir / "Talvex/etc/filelink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "Talvex").c_str(), (dir / "Talvex/etc/loop").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "Talvex/dangling").c_str()), 0);
  chmod((dir / "elsewhere/precious.txt").c_str(), 0444);

  EXPECT_EQ(DelTreeAt(NativeFileSystem(), dir / "Talvex").result, kDelTreeRemoved);
  EXPECT_FALSE(PathExists(dir / "Talvex"));
  EXPECT_EQ(testing::ReadBytes(dir / "elsewhere/precious.txt"), "keep me");
  EXPECT_EQ(testing::ReadBytes(dir / "lonely.txt"), "keep me too");
  struct stat st {};
  ASSERT_EQ(stat((dir / "elsewhere/precious.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u) << "the link's target kept its permissions";
}

TEST(DelTreeTest, ALinkGivenAsTheTreeIsRemovedNotFollowed) {
  TempDir dir;
  MakeFile(dir / "kit/Talvex/rcTVX", "master");
  ASSERT_EQ(symlink((dir / "kit/Talvex").c_str(), (dir / "Talvex").c_str()), 0);
  EXPECT_EQ(DelTreeAt(NativeFileSystem(), dir / "Talvex").result, kDelTreeRemoved);
  EXPECT_FALSE(PathExists(dir / "Talvex"));
  EXPECT_EQ(testing::ReadBytes(dir / "kit/Talvex/rcTVX"), "master");
}

void* RemoveInSmallStack(void* path) {
  auto* outcome =
      new std::int32_t(DelTreeAt(NativeFileSystem(), *static_cast<std::string*>(path)).result);
  return outcome;
}

TEST(DelTreeTest, AVeryDeepTreeNeedsNoDeepStackAndNoLongPath) {
  TempDir dir;
  // Ten thousand levels: the whole path is five times what the system accepts in one call, and
  // every level holds a file, so each is listed and cleared through its own handle.
  constexpr int kDepth = 10000;
  testing::MakeDirs(dir / "Talvex");
  int fd = open((dir / "Talvex").c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < kDepth; ++level) {
    ASSERT_EQ(mkdirat(fd, "d", 0777), 0);
    close(openat(fd, "f", O_WRONLY | O_CREAT, 0666));
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  close(fd);

  // A recursive walk of this depth would need far more than this stack.
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 128 * 1024);
  std::string root = dir / "Talvex";
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, RemoveInSmallStack, &root), 0);
  void* result = nullptr;
  pthread_join(thread, &result);
  pthread_attr_destroy(&attributes);
  std::int32_t outcome = *static_cast<std::int32_t*>(result);
  delete static_cast<std::int32_t*>(result);
  EXPECT_EQ(outcome, kDelTreeRemoved);
  EXPECT_FALSE(PathExists(root));
}

TEST(DelTreeTest, NeverEntersTheKitMountedInsideTheTreeNorAnotherFileSystem) {
  TempDir dir;
  MakeFile(dir / "kit/Talvex/rcTVX", "master");
  MakeFile(dir / "drive/Talvex/old.txt", "old");
  testing::MakeDirs(dir / "drive/Talvex/etc/mounted");
  // The kit's folder shown a second time inside the payload, as a bind mount shows it.
  if (mount((dir / "kit").c_str(), (dir / "drive/Talvex/etc/mounted").c_str(), nullptr, MS_BIND,
            nullptr) != 0) {
    GTEST_SKIP() << "bind mounts need privileges: " << std::strerror(errno);
  }
  platform::FileId kit;
  ASSERT_TRUE(NativeFileSystem().Identify(dir / "kit", kit).ok());
  const std::vector<platform::FileId> protect{kit};
  DelTreeOutcome outcome = DelTreeAt(NativeFileSystem(), dir / "drive/Talvex", protect);
  EXPECT_GT(outcome.result, 0);
  EXPECT_EQ(outcome.failure.path, dir / "drive/Talvex/etc/mounted");
  EXPECT_EQ(ReadBytes(dir / "kit/Talvex/rcTVX"), "master");

  // Another file system mounted inside is left alone too, whatever it holds.
  ASSERT_EQ(umount2((dir / "drive/Talvex/etc/mounted").c_str(), MNT_DETACH), 0);
  ASSERT_EQ(mount("tmpfs", (dir / "drive/Talvex/etc/mounted").c_str(), "tmpfs", 0, "size=1m"), 0);
  MakeFile(dir / "drive/Talvex/etc/mounted/data.txt", "someone's data");
  outcome = DelTreeAt(NativeFileSystem(), dir / "drive/Talvex", protect);
  EXPECT_GT(outcome.result, 0);
  EXPECT_EQ(ReadBytes(dir / "drive/Talvex/etc/mounted/data.txt"), "someone's data");
  ASSERT_EQ(umount2((dir / "drive/Talvex/etc/mounted").c_str(), MNT_DETACH), 0);
  EXPECT_EQ(DelTreeAt(NativeFileSystem(), dir / "drive/Talvex").result, kDelTreeRemoved);
}
#endif

}  // namespace
}  // namespace talvex::fsutil
