// The primitives on the real file system: what they report, what they leave on disk, and how
// they fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform_test_support.h"
#include "support/test_support.h"

#ifdef _WIN32
#include "platform/win32/utf.h"
#include "platform/win32/windows_api.h"
#endif

namespace talvex::platform {
namespace {

using testing::AtEntry;
using testing::ComparablePath;
using testing::ListedNames;
using testing::MakeDirs;
using testing::MakeFile;
using testing::MakeFolder;
using testing::PathExists;
using testing::ReadBytes;
using testing::TempDir;
using testing::TreeListing;

// The bits a user sees and the program clears; Wine reports every file as archived besides.
constexpr std::uint32_t kVisibleBits = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory;

class FileSystemTest : public ::testing::Test {
 protected:
  FileSystem& fs = NativeFileSystem();
  TempDir dir;

  std::uint32_t Attributes(const std::string& path) {
    std::uint32_t attributes = 0xFFFFFFFF;
    FsStatus queried = fs.QueryAttributes(path, attributes);
    EXPECT_TRUE(queried.ok()) << queried.message << " " << path;
    return attributes;
  }
  // The entry operations, each through a handle of the folder that holds the entry, as the
  // program reaches every entry.
  FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) {
    return testing::SetAttributes(fs, path, attributes);
  }
  FsStatus WriteFile(const std::string& path, std::string_view bytes) {
    return AtEntry(fs, path, [&](Directory& folder, std::string_view name) {
      return folder.WriteFileIn(name, bytes);
    });
  }
  FsStatus DeleteFile(const std::string& path) {
    return AtEntry(
        fs, path, [](Directory& folder, std::string_view name) { return folder.DeleteFile(name); });
  }
  FsStatus CreateDirectory(const std::string& path) { return MakeFolder(fs, path); }
  FsStatus RemoveDirectory(const std::string& path) {
    return AtEntry(fs, path, [](Directory& folder, std::string_view name) {
      return folder.RemoveDirectory(name);
    });
  }
  FsStatus CopyFile(const std::string& source, const std::string& target) {
    std::unique_ptr<Directory> from;
    if (FsStatus opened = fs.OpenDirectory(ParentFolder(source), from); !opened) return opened;
    return AtEntry(fs, target, [&](Directory& folder, std::string_view name) {
      return folder.CopyFileIn(name, *from, LastName(source));
    });
  }
  bool ExistsOk(const std::string& path) {
    bool exists = false;
    FsStatus tested = fs.Exists(path, exists);
    EXPECT_TRUE(tested.ok()) << tested.message << " " << path;
    return exists;
  }
};

// A failure names the path, carries a code and the system's text without a line break at its end.
void ExpectFailure(const FsStatus& status, const std::string& path) {
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.code, 0);
  EXPECT_EQ(status.path, path);
  EXPECT_FALSE(status.message.empty());
  if (!status.message.empty()) {
    EXPECT_NE(status.message.back(), '\n');
    EXPECT_NE(status.message.back(), '\r');
  }
}

TEST_F(FileSystemTest, ReportsDirectoryAndFileAndFailsOnMissingEntry) {
  MakeDirs(dir / "folder");
  MakeFile(dir / "file.txt", "x");
  EXPECT_NE(Attributes(dir / "folder") & kAttrDirectory, 0u);
  EXPECT_EQ(Attributes(dir / "file.txt") & kAttrDirectory, 0u);
  std::uint32_t attributes = 0;
  ExpectFailure(fs.QueryAttributes(dir / "missing", attributes), dir / "missing");
}

TEST_F(FileSystemTest, ReadOnlyIsSetAndClearedAndZeroMeansNormal) {
  MakeFile(dir / "file.txt", "x");
  ASSERT_TRUE(SetAttributes(dir / "file.txt", kAttrReadOnly).ok());
  EXPECT_NE(Attributes(dir / "file.txt") & kAttrReadOnly, 0u);
  ASSERT_TRUE(SetAttributes(dir / "file.txt", 0).ok());
  EXPECT_EQ(Attributes(dir / "file.txt") & kVisibleBits, 0u);
  ExpectFailure(SetAttributes(dir / "missing", 0), dir / "missing");
}

TEST_F(FileSystemTest, ListingLeavesOutDirectoriesUnlessAskedAndNeverPassesDots) {
  MakeFile(dir / "a.txt", "12345");
  MakeFile(dir / "no_dot", "");
  MakeDirs(dir / "sub");
  EXPECT_EQ(ListedNames(fs, dir.path(), 0), (std::set<std::string>{"a.txt", "no_dot"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kAttrDirectory),
            (std::set<std::string>{"a.txt", "no_dot", "sub"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kListEverything),
            (std::set<std::string>{"a.txt", "no_dot", "sub"}));
  EXPECT_TRUE(ListedNames(fs, dir / "sub", kListEverything).empty());
}

TEST_F(FileSystemTest, ListingBringsSizesAndTypesAndStopsWhenTold) {
  MakeFile(dir / "five.bin", "12345");
  MakeDirs(dir / "sub");
  int visited = 0;
  ASSERT_TRUE(fs.ListDirectory(dir.path(), kListEverything, [&](const DirEntry& entry) {
                  ++visited;
                  if (entry.name == "five.bin") {
                    EXPECT_EQ(entry.size, 5u);
                    EXPECT_FALSE(entry.IsDirectory());
                  } else {
                    EXPECT_TRUE(entry.IsDirectory());
                  }
                  EXPECT_FALSE(entry.IsLink());
                  return true;
                }).ok());
  EXPECT_EQ(visited, 2);
  visited = 0;
  ASSERT_TRUE(fs.ListDirectory(dir.path(), kListEverything, [&](const DirEntry&) {
                  ++visited;
                  return false;
                }).ok());
  EXPECT_EQ(visited, 1);
}

TEST_F(FileSystemTest, ListingFailsOnMissingFolderAndOnAFile) {
  MakeFile(dir / "file.txt", "x");
  auto never = [](const DirEntry&) {
    ADD_FAILURE() << "nothing to list";
    return true;
  };
  ExpectFailure(fs.ListDirectory(dir / "missing", kListEverything, never), dir / "missing");
  ExpectFailure(fs.ListDirectory(dir / "file.txt", kListEverything, never), dir / "file.txt");
}

TEST_F(FileSystemTest, ExistsAnswersForFilesFoldersAndMissingPaths) {
  MakeFile(dir / "file.txt", "x");
  MakeFile(dir / ".dotted", "x");
  MakeDirs(dir / "folder");
  EXPECT_TRUE(ExistsOk(dir / "file.txt"));
  EXPECT_TRUE(ExistsOk(dir / ".dotted"));
  EXPECT_TRUE(ExistsOk(dir / "folder"));
  EXPECT_FALSE(ExistsOk(dir / "missing"));
  EXPECT_FALSE(ExistsOk(dir / "missing/deeper"));
  // Below a plain file nothing can exist: an answer, not a failure.
  EXPECT_FALSE(ExistsOk(dir / "file.txt/below"));
}

TEST_F(FileSystemTest, WriteFileWritesExactlyTheBytesInPlaceOfAnOldFile) {
  const std::string bytes = std::string("A=\"1\" # \nB\r\n\0\xff\xd0\x96", 16);
  MakeFile(dir / "out.txt", std::string(1000, 'z'));
  ASSERT_TRUE(WriteFile(dir / "out.txt", bytes).ok());
  EXPECT_EQ(ReadBytes(dir / "out.txt"), bytes);
  std::uint64_t length = 0;
  ASSERT_TRUE(fs.FileLength(dir / "out.txt", length).ok());
  EXPECT_EQ(length, bytes.size());
  ASSERT_TRUE(WriteFile(dir / "empty.txt", "").ok());
  EXPECT_TRUE(PathExists(dir / "empty.txt"));
  EXPECT_EQ(ReadBytes(dir / "empty.txt"), "");
  ExpectFailure(WriteFile(dir / "missing/out.txt", "x"), dir / "missing");
}

TEST_F(FileSystemTest, NonAsciiNamesRoundTrip) {
  const std::string folder = dir / "Папка";
  const std::string file = folder + kPathSeparator + "Привет, мир.txt";
  ASSERT_TRUE(CreateDirectory(folder).ok());
  ASSERT_TRUE(WriteFile(file, "текст").ok());
  EXPECT_EQ(ReadBytes(file), "текст");
  EXPECT_EQ(ListedNames(fs, dir.path(), kListEverything), (std::set<std::string>{"Папка"}));
  EXPECT_EQ(ListedNames(fs, folder, kListEverything), (std::set<std::string>{"Привет, мир.txt"}));
  ASSERT_TRUE(CopyFile(file, folder + kPathSeparator + "Копия.txt").ok());
  EXPECT_EQ(ReadBytes(folder + kPathSeparator + "Копия.txt"), "текст");
  ASSERT_TRUE(DeleteFile(file).ok());
  ASSERT_TRUE(DeleteFile(folder + kPathSeparator + "Копия.txt").ok());
  ASSERT_TRUE(RemoveDirectory(folder).ok());
  EXPECT_FALSE(PathExists(folder));
}

TEST_F(FileSystemTest, FileLengthRefusesFoldersAndMissingFiles) {
  MakeDirs(dir / "folder");
  std::uint64_t length = 0;
  ExpectFailure(fs.FileLength(dir / "folder", length), dir / "folder");
  ExpectFailure(fs.FileLength(dir / "missing", length), dir / "missing");
}

TEST_F(FileSystemTest, CreateRemoveAndDeleteFailWithThePlatformsCodes) {
  MakeDirs(dir / "full");
  MakeFile(dir / "full/file.txt", "x");
  const FsStatus exists = CreateDirectory(dir / "full");
  const FsStatus no_parent = CreateDirectory(dir / "missing/child");
  const FsStatus not_empty = RemoveDirectory(dir / "full");
  const FsStatus no_file = DeleteFile(dir / "missing.txt");
  ExpectFailure(exists, dir / "full");
  // The folder it would go in cannot be opened.
  ExpectFailure(no_parent, dir / "missing");
  ExpectFailure(not_empty, dir / "full");
  ExpectFailure(no_file, dir / "missing.txt");
#ifdef _WIN32
  EXPECT_EQ(exists.code, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(no_parent.code, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(not_empty.code, ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(no_file.code, ERROR_FILE_NOT_FOUND);
#else
  EXPECT_EQ(exists.code, EEXIST);
  EXPECT_EQ(no_parent.code, ENOENT);
  EXPECT_EQ(not_empty.code, ENOTEMPTY);
  EXPECT_EQ(no_file.code, ENOENT);
#endif
  EXPECT_TRUE(PathExists(dir / "full/file.txt"));
}

TEST_F(FileSystemTest, NotADirectoryIsThePlatformsOwnFailure) {
  const FsStatus status = NotADirectoryStatus(dir / "file.txt");
  ExpectFailure(status, dir / "file.txt");
#ifdef _WIN32
  EXPECT_EQ(status.code, ERROR_DIRECTORY);
#else
  EXPECT_EQ(status.code, ENOTDIR);
#endif
}

TEST_F(FileSystemTest, CopyFileReplacesTheWholeTarget) {
  MakeFile(dir / "source.txt", "new");
  MakeFile(dir / "target.txt", "old and much longer");
  ASSERT_TRUE(CopyFile(dir / "source.txt", dir / "target.txt").ok());
  EXPECT_EQ(ReadBytes(dir / "target.txt"), "new");
  EXPECT_EQ(ReadBytes(dir / "source.txt"), "new");
  ASSERT_TRUE(CopyFile(dir / "source.txt", dir / "fresh.txt").ok());
  EXPECT_EQ(ReadBytes(dir / "fresh.txt"), "new");
}

TEST_F(FileSystemTest, CopyFileRefusesToCopyAFileOntoItself) {
  MakeFile(dir / "same.txt", "keep me");
  ExpectFailure(CopyFile(dir / "same.txt", dir / "same.txt"), dir / "same.txt");
  EXPECT_EQ(ReadBytes(dir / "same.txt"), "keep me");
  // The same file under another name: a differently cased name on Windows, a hard link on POSIX.
#ifdef _WIN32
  const std::string other_name = dir / "SAME.TXT";
#else
  const std::string other_name = dir / "hard_link.txt";
  std::filesystem::create_hard_link(dir / "same.txt", other_name);
#endif
  EXPECT_FALSE(CopyFile(dir / "same.txt", other_name).ok());
  EXPECT_EQ(ReadBytes(dir / "same.txt"), "keep me");
}

TEST_F(FileSystemTest, CopyFileFromMissingSourceFailsAndCreatesNothing) {
  ExpectFailure(CopyFile(dir / "missing.txt", dir / "target.txt"), dir / "missing.txt");
  EXPECT_FALSE(PathExists(dir / "target.txt"));
  MakeFile(dir / "source.txt", "x");
  EXPECT_FALSE(CopyFile(dir / "source.txt", dir / "missing/target.txt").ok());
}

TEST_F(FileSystemTest, ResolvePathKeepsAMissingTail) {
  MakeDirs(dir / "real");
  std::string resolved_dir;
  ASSERT_TRUE(fs.ResolvePath(dir / "real", resolved_dir).ok());
  EXPECT_EQ(ComparablePath(resolved_dir), ComparablePath(dir / "real"));
  std::string resolved;
  ASSERT_TRUE(fs.ResolvePath(dir / "real/missing/deeper", resolved).ok());
  EXPECT_EQ(ComparablePath(resolved),
            ComparablePath(testing::Join(resolved_dir, "missing/deeper")));
}

TEST(PayloadPathTest, JoinsByPlainConcatenationWithNativeSeparators) {
#ifdef _WIN32
  EXPECT_EQ(JoinPayloadPath("e:", "\\Talvex\\etc\\init.d"), "e:\\Talvex\\etc\\init.d");
  EXPECT_EQ(JoinPayloadPath("e:", "\\Talvex\\"), "e:\\Talvex\\");
  EXPECT_EQ(JoinPayloadPath("e:\\", "\\PVR"), "e:\\\\PVR");
#else
  EXPECT_EQ(JoinPayloadPath("/media/usb", "\\Talvex\\etc\\init.d"), "/media/usb/Talvex/etc/init.d");
  EXPECT_EQ(JoinPayloadPath("/media/usb", "\\Talvex\\"), "/media/usb/Talvex/");
  EXPECT_EQ(JoinPayloadPath("/", "\\PVR"), "/PVR");
#endif
  EXPECT_EQ(JoinPayloadPath("", ""), "");
}

#ifndef _WIN32

TEST_F(FileSystemTest, LinksAreReportedAsLinksAndResolved) {
  MakeDirs(dir / "target");
  MakeFile(dir / "target/inside.txt", "x");
  std::filesystem::create_directory_symlink(dir / "target", dir / "link");
  const std::uint32_t attributes = Attributes(dir / "link");
  EXPECT_NE(attributes & kAttrReparsePoint, 0u);
  EXPECT_EQ(attributes & kAttrDirectory, 0u) << "a link must never be walked into";
  bool saw_link = false;
  ASSERT_TRUE(fs.ListDirectory(dir.path(), kListEverything, [&](const DirEntry& entry) {
                  if (entry.name == "link") saw_link = entry.IsLink() && !entry.IsDirectory();
                  return true;
                }).ok());
  EXPECT_TRUE(saw_link);
  std::string resolved;
  ASSERT_TRUE(fs.ResolvePath(dir / "link/missing", resolved).ok());
  EXPECT_EQ(resolved, dir / "target/missing");
}

TEST_F(FileSystemTest, NoWritePermissionReadsAsReadOnly) {
  MakeFile(dir / "file.txt", "x");
  std::filesystem::permissions(dir / "file.txt", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_NE(Attributes(dir / "file.txt") & kAttrReadOnly, 0u);
  ASSERT_TRUE(SetAttributes(dir / "file.txt", 0).ok());
  const auto perms = std::filesystem::status(dir / "file.txt").permissions();
  EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
}

#else  // _WIN32

TEST_F(FileSystemTest, HiddenAndSystemEntriesAreReportedAndFilteredLikeWindows) {
  MakeFile(dir / "plain.txt", "x");
  MakeFile(dir / "hidden.txt", "x");
  MakeFile(dir / "system.txt", "x");
  MakeFile(dir / "both.txt", "x");
  MakeDirs(dir / "folder");
  MakeDirs(dir / "hidden_folder");
  ASSERT_TRUE(SetAttributes(dir / "hidden.txt", kAttrHidden).ok());
  ASSERT_TRUE(SetAttributes(dir / "system.txt", kAttrSystem | kAttrReadOnly).ok());
  ASSERT_TRUE(SetAttributes(dir / "both.txt", kAttrHidden | kAttrSystem | kAttrReadOnly).ok());
  ASSERT_TRUE(SetAttributes(dir / "hidden_folder", kAttrHidden).ok());

  EXPECT_EQ(Attributes(dir / "hidden.txt") & kListEverything, std::uint32_t{kAttrHidden});
  EXPECT_EQ(Attributes(dir / "both.txt") & kVisibleBits,
            std::uint32_t{kAttrHidden | kAttrSystem | kAttrReadOnly});
  EXPECT_EQ(Attributes(dir / "hidden_folder") & kListEverything,
            std::uint32_t{kAttrHidden | kAttrDirectory});

  EXPECT_EQ(ListedNames(fs, dir.path(), 0), (std::set<std::string>{"plain.txt"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kAttrDirectory),
            (std::set<std::string>{"plain.txt", "folder"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kAttrHidden),
            (std::set<std::string>{"plain.txt", "hidden.txt"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kAttrHidden | kAttrDirectory),
            (std::set<std::string>{"plain.txt", "hidden.txt", "folder", "hidden_folder"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kAttrSystem | kAttrDirectory),
            (std::set<std::string>{"plain.txt", "system.txt", "folder"}));
  EXPECT_EQ(ListedNames(fs, dir.path(), kListEverything),
            (std::set<std::string>{"plain.txt", "hidden.txt", "system.txt", "both.txt", "folder",
                                   "hidden_folder"}));

  EXPECT_TRUE(ExistsOk(dir / "both.txt"));
  EXPECT_TRUE(ExistsOk(dir / "hidden_folder"));
  ASSERT_TRUE(SetAttributes(dir / "both.txt", 0).ok());
  EXPECT_EQ(Attributes(dir / "both.txt") & kVisibleBits, 0u);
  EXPECT_TRUE(DeleteFile(dir / "both.txt").ok());
}

// Holds a file open the way another program would: no sharing at all.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : handle_(::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldOpen() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST_F(FileSystemTest, AFileInUseCannotBeDeletedOrReplaced) {
  MakeFile(dir / "busy.txt", "busy");
  MakeFile(dir / "source.txt", "new");
  {
    HeldOpen busy(dir / "busy.txt");
    ASSERT_TRUE(busy.ok());
    const FsStatus deleted = DeleteFile(dir / "busy.txt");
    ExpectFailure(deleted, dir / "busy.txt");
    EXPECT_EQ(deleted.code, ERROR_SHARING_VIOLATION);
    const FsStatus copied = CopyFile(dir / "source.txt", dir / "busy.txt");
    EXPECT_EQ(copied.code, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(PathExists(dir / "busy.txt"));
  }
  EXPECT_EQ(ReadBytes(dir / "busy.txt"), "busy");
  EXPECT_TRUE(DeleteFile(dir / "busy.txt").ok());
  EXPECT_FALSE(PathExists(dir / "busy.txt"));
}

// A drive letter given to another folder while a build works on the drive (one stick pulled,
// another taking its letter) redirects nothing done through the folders opened before.
TEST_F(FileSystemTest, AnOpenFolderKeepsItsOperationsWhenItsDriveLetterMoves) {
  testing::DriveLetter drive;
  if (drive.root().empty()) GTEST_SKIP() << "SKIPPED: no drive letter is free";
  for (const char* stick : {"one", "two"}) {
    MakeFile(dir / stick + "\\sub\\old.txt", stick);
    MakeFile(dir / stick + "\\sub\\doomed.txt", stick);
    MakeDirs(dir / stick + "\\sub\\empty");
    MakeDirs(dir / stick + "\\sub\\deeper");
  }
  const std::vector<std::string> second_stick = TreeListing(dir / "two");
  std::unique_ptr<Directory> root;
  std::unique_ptr<Directory> sub;
  std::unique_ptr<Directory> deeper;
  ASSERT_TRUE(drive.PointAt(dir / "one"));
  ASSERT_TRUE(fs.OpenDirectory(drive.root(), root).ok());
  ASSERT_TRUE(root->OpenSubdirectory("sub", sub).ok());
  ASSERT_TRUE(sub->OpenSubdirectory("deeper", deeper).ok());
  ASSERT_TRUE(drive.PointAt(dir / "two"));
  ASSERT_EQ(ReadBytes(drive.root() + "sub\\old.txt"), "two");

  using Change = std::function<FsStatus(Directory&)>;
  const std::vector<Change> changes{
      [](Directory& d) { return d.CreateDirectory("made"); },
      [](Directory& d) { return d.WriteFileIn("written.txt", "written"); },
      [](Directory& d) { return d.CopyFileIn("copied.txt", d, "old.txt"); },
      [](Directory& d) { return d.ReplaceFile("old.txt", "replaced"); },
      [](Directory& d) { return d.SetAttributes("written.txt", kAttrHidden); },
      [](Directory& d) { return d.DeleteFile("doomed.txt"); },
      [](Directory& d) { return d.RemoveDirectory("empty"); },
  };
  for (std::size_t row = 0; row < changes.size(); ++row) {
    const FsStatus changed = changes[row](*sub);
    EXPECT_TRUE(changed.ok()) << "row " << row << ": " << changed.message;
  }
  const std::vector<std::string> changed{"copied.txt", "deeper/", "made/", "old.txt",
                                         "written.txt"};
  EXPECT_EQ(TreeListing(dir / "one\\sub"), changed);
  EXPECT_EQ(ReadBytes(dir / "one\\sub\\old.txt"), "replaced");
  EXPECT_NE(Attributes(dir / "one\\sub\\written.txt") & kAttrHidden, 0u);
  EXPECT_EQ(TreeListing(dir / "two"), second_stick);
  EXPECT_EQ(ReadBytes(dir / "two\\sub\\old.txt"), "two");

  // What is read through them is the first folder's too.
  std::vector<std::string> listed;
  ASSERT_TRUE(sub->List(
                     [&](const DirEntry& entry) {
                       listed.push_back(std::string(entry.name) + (entry.IsDirectory() ? "/" : ""));
                       return true;
                     },
                     ListDetail::kFull)
                  .ok());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, changed);
  std::uint32_t attributes = 0;
  ASSERT_TRUE(sub->EntryAttributes("made", attributes).ok());
  EXPECT_NE(attributes & kAttrDirectory, 0u);
  std::unique_ptr<FileReader> reader;
  ASSERT_TRUE(sub->OpenForReading("copied.txt", false, reader).ok());
  char bytes[16];
  std::size_t got = 0;
  ASSERT_TRUE(reader->Read(bytes, sizeof bytes, got).ok());
  EXPECT_EQ(std::string(bytes, got), "one");
  // Their parents are reopened through the handles too.
  for (const auto& [below, expected] :
       {std::pair{deeper.get(), "one\\sub"}, std::pair{sub.get(), "one"}}) {
    std::unique_ptr<Directory> parent;
    FileId id;
    ASSERT_TRUE(below->OpenParent(parent).ok());
    ASSERT_TRUE(fs.Identify(dir / expected, id).ok());
    EXPECT_EQ(parent->id(), id) << expected;
  }
}

TEST_F(FileSystemTest, PathsLongerThanMaxPathWork) {
  std::string path = dir.path();
  const std::string level(60, 'd');
  while (path.size() < 2 * MAX_PATH) {
    path += kPathSeparator + level;
    ASSERT_TRUE(CreateDirectory(path).ok()) << path.size();
  }
  const std::string file = path + "\\file.txt";
  ASSERT_TRUE(WriteFile(file, "deep").ok());
  EXPECT_EQ(Attributes(file) & kAttrDirectory, 0u);
  EXPECT_TRUE(ExistsOk(file));
  EXPECT_EQ(ListedNames(fs, path, kListEverything), (std::set<std::string>{"file.txt"}));
  ASSERT_TRUE(CopyFile(file, file + ".copy").ok());
  std::uint64_t length = 0;
  ASSERT_TRUE(fs.FileLength(file + ".copy", length).ok());
  EXPECT_EQ(length, 4u);
  std::string resolved;
  ASSERT_TRUE(fs.ResolvePath(file + "\\missing", resolved).ok());
  EXPECT_EQ(ComparablePath(resolved), ComparablePath(file + "\\missing"));
  EXPECT_TRUE(DeleteFile(file).ok());
  EXPECT_TRUE(DeleteFile(file + ".copy").ok());
  while (path.size() > dir.path().size()) {
    ASSERT_TRUE(RemoveDirectory(path).ok()) << path.size();
    path.erase(path.find_last_of(kPathSeparator));
  }
  EXPECT_TRUE(testing::TreeListing(dir.path()).empty());
}

TEST_F(FileSystemTest, ABareDriveResolvesToItsRoot) {
  const std::string drive = testing::TestDrive();
  if (drive.empty()) GTEST_SKIP() << "TALVEX_TEST_DRIVE names no test drive";
  std::string bare;
  std::string root;
  ASSERT_TRUE(fs.ResolvePath(drive, bare).ok());
  ASSERT_TRUE(fs.ResolvePath(drive + "\\", root).ok());
  EXPECT_EQ(ComparablePath(bare), ComparablePath(drive + "\\"));
  EXPECT_EQ(bare, root);
  std::string missing;
  ASSERT_TRUE(fs.ResolvePath(drive + "\\Talvex\\etc", missing).ok());
  EXPECT_EQ(ComparablePath(missing), ComparablePath(drive + "\\Talvex\\etc"));
  bool exists = false;
  ASSERT_TRUE(fs.Exists(drive, exists).ok());
  EXPECT_TRUE(exists);
}

#endif

}  // namespace
}  // namespace talvex::platform
