// The slow stick the benchmarks measure on: it keeps a USB 2 stick's pace however many write at
// once, passes bytes and modification times through, lets the reads that bypass the page cache
// reach it, and fails every call once pulled.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/slow_stick.h"

namespace talvex::testing {
namespace {

constexpr std::size_t kMiB = 1 << 20;
constexpr std::size_t kAlignment = 4096;  // what O_DIRECT asks of a buffer

std::string Pattern(std::size_t size, std::size_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  return bytes;
}

// Reads the whole file through `fd` from its start, in aligned pieces (O_DIRECT may need them).
std::string ReadAll(int fd) {
  std::unique_ptr<char, decltype(&std::free)> buffer(
      static_cast<char*>(std::aligned_alloc(kAlignment, kMiB)), &std::free);
  std::string bytes;
  ssize_t count = 0;
  while ((count = pread(fd, buffer.get(), kMiB, static_cast<off_t>(bytes.size()))) > 0) {
    bytes.append(buffer.get(), static_cast<std::size_t>(count));
  }
  EXPECT_EQ(count, 0) << std::strerror(errno);
  return bytes;
}

// Runs `work(i)` for i in [0, n) on n threads at once; the seconds until all are done.
double SecondsInParallel(std::size_t n, const std::function<void(std::size_t)>& work) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < n; ++i) threads.emplace_back(work, i);
  for (std::thread& thread : threads) thread.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class SlowStickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!stick_.unavailable().empty()) GTEST_SKIP() << "SKIPPED: " << stick_.unavailable();
  }
  std::string OnStick(const std::string& name) const { return stick_.mount_point() + "/" + name; }

  SlowStick stick_;  // 8 MB/s writing, 25 MB/s reading
};

class PaceTest : public SlowStickTest, public ::testing::WithParamInterface<std::size_t> {};

// 16 MiB split among the writers, then read back the same way (each opening drops what the page
// cache held of the file): the rates stay within a quarter of the caps, and every byte comes back.
TEST_P(PaceTest, KeepsTheCapsForAllWritersTogether) {
  const std::size_t writers = GetParam();
  std::vector<std::string> written(writers), read(writers);
  for (std::size_t i = 0; i < writers; ++i) written[i] = Pattern(16 * kMiB / writers, 7 * i + 1);
  const auto file = [&](std::size_t i) { return OnStick("file" + std::to_string(i)); };
  const double writing = SecondsInParallel(writers, [&](auto i) { MakeFile(file(i), written[i]); });
  const double reading = SecondsInParallel(writers, [&](auto i) { read[i] = ReadBytes(file(i)); });

  const double megabytes = 16.0 * kMiB / 1e6;
  EXPECT_NEAR(megabytes / writing, 8, 2) << writing << " s to write";
  EXPECT_NEAR(megabytes / reading, 25, 6.25) << reading << " s to read";
  EXPECT_TRUE(read == written);
  const SlowStickCounters counters = stick_.Counters();
  EXPECT_EQ(counters.bytes_written, 16 * kMiB);
  EXPECT_EQ(counters.bytes_read, 16 * kMiB);
}

// Writers that share 16 MiB evenly: one, and more than the two cores.
INSTANTIATE_TEST_SUITE_P(Writers, PaceTest, ::testing::Values<std::size_t>(1, 4));

// A build copies the kit's modification times and renames its temporaries over the old files.
TEST_F(SlowStickTest, KeepsModificationTimesAcrossARenameOverAnOldFile) {
  MakeFile(OnStick("old"), "old bytes");
  MakeFile(OnStick("new.tmp"), "new bytes");
  const timespec times[2] = {{0, UTIME_OMIT}, {981173106, 500000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, OnStick("new.tmp").c_str(), times, 0), 0);
  ASSERT_EQ(rename(OnStick("new.tmp").c_str(), OnStick("old").c_str()), 0);

  for (const std::string& path : {OnStick("old"), stick_.backing() + "/old"}) {
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec) << path;
    EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec) << path;
  }
  EXPECT_EQ(ReadBytes(OnStick("old")), "new bytes");
  EXPECT_FALSE(PathExists(stick_.backing() + "/new.tmp"));
}

struct SecondRead {
  const char* way;
  int open_flags;
  bool drop_cache;
  bool reaches_stick;
};

void PrintTo(const SecondRead& row, std::ostream* out) {
  *out << row.way;
}

class SecondReadTest : public SlowStickTest, public ::testing::WithParamInterface<SecondRead> {};

// The page cache sits in front of the stick as in front of a device: reading a file again is
// answered from it unless the read bypasses it, as a read-back that checks the device must.
TEST_P(SecondReadTest, ReachesTheStickOnlyPastThePageCache) {
  const SecondRead& row = GetParam();
  MakeFile(OnStick("file"), Pattern(kMiB, 7));
  const int fd = open(OnStick("file").c_str(), O_RDONLY | O_CLOEXEC | row.open_flags);
  ASSERT_NE(fd, -1) << std::strerror(errno);
  EXPECT_EQ(ReadAll(fd).size(), kMiB);
  const std::uint64_t before = stick_.Counters().bytes_read;
  if (row.drop_cache) posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  EXPECT_TRUE(ReadAll(fd) == Pattern(kMiB, 7));
  close(fd);
  EXPECT_EQ(stick_.Counters().bytes_read - before, row.reaches_stick ? kMiB : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SecondReadTest,
    ::testing::Values(SecondRead{"plain", 0, false, false},
                      SecondRead{"after_posix_fadvise_DONTNEED", 0, true, true},
                      SecondRead{"opened_with_O_DIRECT", O_DIRECT, false, true}),
    [](const ::testing::TestParamInfo<SecondRead>& row) { return std::string(row.param.way); });

// Pulled, the stick answers nothing: not a descriptor opened before, not the folder it holds.
TEST_F(SlowStickTest, APulledStickFailsEveryCallWithEIO) {
  MakeFile(OnStick("kept"), "bytes");
  const int open_before = open(OnStick("open").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_NE(open_before, -1);
  stick_.Pull();

  struct statvfs volume {};
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"write", [&] { return static_cast<int>(write(open_before, "x", 1)); }},
      {"fsync", [&] { return fsync(open_before); }},
      {"open", [&] { return open(OnStick("kept").c_str(), O_RDONLY | O_CLOEXEC); }},
      {"create",
       [&] { return open(OnStick("new").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644); }},
      {"mkdir", [&] { return mkdir(OnStick("folder").c_str(), 0755); }},
      {"rename", [&] { return rename(OnStick("kept").c_str(), OnStick("moved").c_str()); }},
      {"opendir", [&] { return open(stick_.mount_point().c_str(), O_RDONLY | O_DIRECTORY); }},
      {"statfs", [&] { return statvfs(stick_.mount_point().c_str(), &volume); }},
  };
  for (const auto& [name, call] : calls) {
    errno = 0;
    EXPECT_EQ(call(), -1) << name;
    EXPECT_EQ(errno, EIO) << name;
  }
  close(open_before);
  EXPECT_TRUE(PathExists(stick_.backing() + "/kept"));
}

}  // namespace
}  // namespace talvex::testing
