#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fsutil/tree.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "support/fault_injecting_file_system.h"
#include "support/test_support.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
// After windows.h, which it needs.
#include <winioctl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvex::fsutil {
namespace {

using platform::FileSizeFromWords;
using testing::MakeFile;
using testing::TempDir;

platform::FileSystem& Native() {
  return platform::NativeFileSystem();
}

std::filesystem::path U8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

TEST(SizeOfTest, MissingPathAndEmptyDirectoryGiveZero) {
  TempDir dir;
  EXPECT_EQ(SizeOf(Native(), dir / "no such folder"), 0.0);
  EXPECT_EQ(SizeOf(Native(), dir.path()), 0.0);
}

TEST(SizeOfTest, PathNamingAFileGivesItsLength) {
  TempDir dir;
  MakeFile(dir / "file.bin", std::string(1234, 'x'));
  EXPECT_EQ(SizeOf(Native(), dir / "file.bin"), 1234.0);
}

TEST(SizeOfTest, AddsFilesOfEveryLevelAndIgnoresATrailingSeparator) {
  TempDir dir;
  MakeFile(dir / "tree/hundred", std::string(100, 'a'));
  MakeFile(dir / "tree/empty", "");
  MakeFile(dir / "tree/sub/fifty", std::string(50, 'b'));
  const std::string tree = dir / "tree";
  EXPECT_EQ(SizeOf(Native(), tree), 150.0);
  EXPECT_EQ(SizeOf(Native(), tree + platform::kPathSeparator), 150.0);
  EXPECT_EQ(SizeOf(Native(), dir / "tree/sub"), 50.0);
}

TEST(SizeOfTest, CountsHiddenAndSystemEntries) {
  TempDir dir;
  MakeFile(dir / "tree/plain", std::string(1, 'p'));
  MakeFile(dir / "tree/hidden", std::string(10, 'h'));
  MakeFile(dir / "tree/.dotted", std::string(100, 'd'));
  MakeFile(dir / "tree/secret/inner", std::string(1000, 'i'));
  const std::uint32_t hidden_system = platform::kAttrHidden | platform::kAttrSystem;
  ASSERT_TRUE(testing::SetAttributes(Native(), dir / "tree/hidden", hidden_system));
  ASSERT_TRUE(testing::SetAttributes(Native(), dir / "tree/secret/inner", hidden_system));
  ASSERT_TRUE(testing::SetAttributes(Native(), dir / "tree/secret",
                                     hidden_system | platform::kAttrDirectory));
  EXPECT_EQ(SizeOf(Native(), dir / "tree"), 1111.0);
}

TEST(SizeOfTest, UnlistableSubdirectoryAddsZeroWhileItsSiblingsCount) {
  TempDir dir;
  MakeFile(dir / "tree/a", std::string(3, 'a'));
  MakeFile(dir / "tree/locked/b", std::string(40, 'b'));
  MakeFile(dir / "tree/open/c", std::string(500, 'c'));
  MakeFile(dir / "tree/z", std::string(6000, 'z'));
  platform::FaultInjectingFileSystem fs(Native());
  fs.FailOn(platform::FsOperation::kListDirectory, dir / "tree/locked", EACCES, "denied");
  EXPECT_EQ(SizeOf(fs, dir / "tree"), 6503.0);
}

TEST(SizeOfTest, YieldsAfterEveryEntry) {
  TempDir dir;
  MakeFile(dir / "tree/a", "1");
  MakeFile(dir / "tree/b", "2");
  MakeFile(dir / "tree/sub/c", "3");
  MakeFile(dir / "tree/sub/deeper/d", "4");
  int yields = 0;
  EXPECT_EQ(SizeOf(Native(), dir / "tree", [&yields] { ++yields; }), 4.0);
  EXPECT_EQ(yields, 6);  // a, b, sub, c, deeper, d
}

// A directory link that points back up makes a loop; a file link would count its target twice.
// Neither is followed: a link is an entry of its own, with no size.
TEST(SizeOfTest, DoesNotFollowLinks) {
  TempDir dir;
  MakeFile(dir / "tree/sub/file", std::string(77, 'f'));
  MakeFile(dir / "elsewhere/big", std::string(9000, 'b'));
  std::error_code error;
  std::filesystem::create_directory_symlink(U8(dir / "tree"), U8(dir / "tree/sub/back"), error);
  std::filesystem::create_symlink(U8(dir / "elsewhere/big"), U8(dir / "tree/big-link"), error);
  if (!testing::PathExists(dir / "tree/sub/back") || !testing::PathExists(dir / "tree/big-link")) {
    GTEST_SKIP() << "links cannot be made here";
  }
  int yields = 0;
  EXPECT_EQ(SizeOf(Native(), dir / "tree", [&yields] { ++yields; }), 77.0);
  EXPECT_EQ(yields, 4);  // sub, file, back, big-link
}

// How a Windows listing record's two size words make one size; the sparse files below take the
// same way through the real listing on the Windows build.
TEST(SizeOfTest, SizeWordsCombineIntoExactUnsignedSizes) {
  EXPECT_EQ(FileSizeFromWords(1, 1073741824u), 5368709120u);  // 5 GiB
  EXPECT_EQ(FileSizeFromWords(0, 2147483648u), 2147483648u);  // the low word's top bit set
  EXPECT_EQ(FileSizeFromWords(0, 0xFFFFFFFFu), 4294967295u);
  EXPECT_EQ(FileSizeFromWords(0xFFFFFFFFu, 0xFFFFFFFFu), 18446744073709551615u);
}

// A file of that length with no data blocks, so gigabytes cost nothing on the disk. Returns
// false where the file system cannot make one.
bool MakeSparseFile(const std::string& path, std::uint64_t length) {
#ifdef _WIN32
  HANDLE file = ::CreateFileW(U8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(length);
  const bool made = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  return made;
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) return false;
  const bool sized = ::ftruncate(fd, static_cast<off_t>(length)) == 0;
  struct stat st {};
  const bool sparse =
      ::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_blocks) * 512 < length;
  ::close(fd);
  return sized && sparse;
#endif
}

class SizeOfLargeFileTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(SizeOfLargeFileTest, CountsTheWholeLength) {
  const std::uint64_t length = GetParam();
  TempDir dir;
  MakeFile(dir / "tree/small", std::string(10, 's'));
  testing::MakeDirs(dir / "tree/big");
  if (!MakeSparseFile(dir / "tree/big/image", length)) {
    GTEST_SKIP() << "this file system cannot make a sparse file";
  }
  EXPECT_EQ(SizeOf(Native(), dir / "tree/big/image"), static_cast<double>(length));
  EXPECT_EQ(SizeOf(Native(), dir / "tree"), static_cast<double>(length + 10));
}

INSTANTIATE_TEST_SUITE_P(AboveFourGiBAndBetweenTwoAndFour, SizeOfLargeFileTest,
                         ::testing::Values(std::uint64_t{5368709120},   // 5 GiB: high word 1
                                           std::uint64_t{3221225472},   // 3 GiB
                                           std::uint64_t{2147483648}),  // low word's top bit
                         [](const ::testing::TestParamInfo<std::uint64_t>& param) {
                           return "Bytes" + std::to_string(param.param);
                         });

}  // namespace
}  // namespace talvex::fsutil
