// A build is done when its files are on the stick as they are in the kit: flushed out of the
// system's cache, then read back and compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engine/generated_files.h"
#include "engine/verify.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

using Damage = platform::FaultInjectingFileSystem::Damage;

BuildOptions PvrAndShares() {
  return OnlyTicked({&BuildOptions::pvr, &BuildOptions::ChNfs, &BuildOptions::Chsmb});
}

std::vector<std::string> PathsOf(const std::vector<StepFailure>& failures,
                                 std::string_view action) {
  std::vector<std::string> paths;
  for (const StepFailure& failure : failures) {
    if (failure.action == action) paths.push_back(failure.path);
  }
  return paths;
}

// The read-back comes once everything is written and flushed, reads each file written once,
// and nothing is written after it: the commit only renames.
TEST_F(PayloadTest, ACleanBuildFlushesThenReadsBackEveryFileItWroteOnce) {
  FaultInjectingFileSystem watched(fs());
  std::vector<std::pair<FsOperation, std::string>> calls;
  watched.Watch([&](FsOperation operation, const std::string& path) {
    if (path.rfind(drive_.path(), 0) == 0) calls.emplace_back(operation, path);
  });
  const BuildResult result = Build(PvrAndShares(), watched);
  EXPECT_TRUE(result.failures.empty());
  std::size_t files_written = 0;
  for (const PlanItem& item : PlanFor(fs(), {kit_.path(), drive_.path(), PvrAndShares()}).items) {
    files_written += item.IsFile();
  }
  std::size_t flushes = 0;
  std::size_t reads = 0;
  for (const auto& [operation, path] : calls) {
    if (operation == FsOperation::kFlush) ++flushes;
    if (operation == FsOperation::kRead) {
      EXPECT_GE(flushes, 1u) << "read back before the flush: " << path;
      ++reads;
    }
    if (operation == FsOperation::kCopyFile || operation == FsOperation::kWriteFile) {
      EXPECT_EQ(reads, 0u) << "written after the read-back: " << path;
    }
  }
  EXPECT_EQ(reads, files_written);
}

TEST_F(PayloadTest, ADamagedWriteIsCaughtAndNamedWhateverTheDamage) {
  std::vector<std::string> expected;
  for (const PlanItem& item : PlanFor(fs(), {kit_.path(), drive_.path(), PvrAndShares()}).items) {
    if (item.IsFile()) expected.push_back(Drive(item.relative));
  }
  std::sort(expected.begin(), expected.end());
  for (Damage damage : {Damage::kTruncate, Damage::kFlipByte}) {
    std::filesystem::remove_all(U8Path(Drive("\\Talvex")));
    std::filesystem::remove_all(U8Path(Drive("\\PVR")));
    // Every file comes back wrong: a core file, a generated file, an application's files.
    FaultInjectingFileSystem stick(fs());
    stick.DamageWritesUnder(drive_.path(), damage);
    const BuildResult result = Build(PvrAndShares(), stick);

    std::vector<std::string> caught = PathsOf(result.failures, action::kVerifyFile);
    std::sort(caught.begin(), caught.end());
    EXPECT_EQ(caught, expected);
    EXPECT_EQ(result.failures.size(), expected.size()) << "nothing else failed";
    for (const StepFailure& failure : result.failures) EXPECT_GT(failure.code, 0);
  }
}

TEST_F(PayloadTest, AFailedFlushIsReportedNamingTheDrive) {
  FaultInjectingFileSystem stick(fs());
  stick.FailOn(FsOperation::kFlush, drive_.path(), 5, "I/O error");
  const BuildResult result = Build(PvrAndShares(), stick);
  ASSERT_FALSE(result.failures.empty());
  for (const StepFailure& failure : result.failures) {
    EXPECT_EQ(failure.action, action::kFlush);
    EXPECT_EQ(failure.path, drive_.path());
  }
}

TEST_F(PayloadTest, WithoutReadBackNothingWrittenIsRead) {
  FaultInjectingFileSystem stick(fs());
  stick.FailUnder(FsOperation::kRead, drive_.path(), 5, "unreadable");
  BuildContext context{kit_.path(), drive_.path(), PvrAndShares()};
  context.verify = false;
  EXPECT_TRUE(RunBuild(stick, context).failures.empty());

  // With the read-back every file read is a failure of its own.
  std::filesystem::remove_all(U8Path(Drive("\\Talvex")));
  context.verify = true;
  const BuildResult verified = RunBuild(stick, context);
  EXPECT_FALSE(verified.failures.empty());
  for (const StepFailure& failure : verified.failures) {
    EXPECT_EQ(failure.action, action::kVerifyFile);
  }
}

TEST_F(PayloadTest, AFileThatFailedToCopyIsNotReadBackAgain) {
  FaultInjectingFileSystem stick(fs());
  stick.FailOnName(FsOperation::kCopyFile, "rcTVX", 28, "No space left on device");
  const BuildResult result = Build(PvrAndShares(), stick);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kCopyFile);
  EXPECT_TRUE(result.failures[0].path.ends_with("rcTVX")) << result.failures[0].path;
  EXPECT_FALSE(talvex::testing::PathExists(Drive("\\Talvex\\rcTVX")));
}

// What a window shows while the build runs: every stage in its order, the flush and the
// read-back among them, and a byte count that ends where the comparison said it would.
TEST_F(PayloadTest, ProgressTellsEveryStageInOrderAndTheBytesAddUp) {
  struct Heard final : BuildObserver {
    std::vector<BuildProgress> told;
    void OnProgress(const BuildProgress& progress) override { told.push_back(progress); }
  } heard;
  const BuildResult result =
      RunBuild(fs(), BuildContext{kit_.path(), drive_.path(), PvrAndShares()}, &heard);
  ASSERT_TRUE(result.Complete());
  ASSERT_FALSE(heard.told.empty());
  std::vector<BuildStage> stages;
  for (const BuildProgress& progress : heard.told) {
    if (stages.empty() || stages.back() != progress.stage) stages.push_back(progress.stage);
    EXPECT_EQ(progress.steps, heard.told.back().steps);
  }
  EXPECT_EQ(stages, (std::vector<BuildStage>{BuildStage::kComparing, BuildStage::kWriting,
                                             BuildStage::kFlushing, BuildStage::kVerifying,
                                             BuildStage::kCommitting, BuildStage::kMeasuring}));
  const BuildProgress& last = heard.told.back();
  EXPECT_GT(last.bytes_total, 0u);
  // Every byte written is read back once: the bar's end is twice what was written.
  EXPECT_EQ(last.bytes_total, 2 * result.bytes_written);
  EXPECT_EQ(last.bytes_done, last.bytes_total);
}

// The comparisons the read-back makes, on their own.

using platform::Directory;
using platform::FileSystem;
using platform::FsStatus;
using platform::MismatchStatus;

// The read-back compares in chunks and keeps its buffers from one file to the next: what an
// earlier, longer file left in them must never make a later file pass.
class ReadBackTest : public ::testing::Test {
 protected:
  FileSystem& fs = platform::NativeFileSystem();
  TempDir dir;
  std::unique_ptr<Directory> folder;

  void SetUp() override {
    MakeDirs(dir / "f");
    ASSERT_TRUE(fs.OpenDirectory(dir / "f", folder).ok());
  }
  FsStatus Compare(const std::string& written, const std::string& expected) {
    MakeFile(Join(dir / "f", "written"), written);
    MakeFile(Join(dir / "f", "expected"), expected);
    return CompareWithFile(*folder, "written", *folder, "expected");
  }
};

TEST_F(ReadBackTest, FilesOfSeveralChunksCompareByteForByteOneAfterAnother) {
  // Three and a half chunks of a compare, in a pattern that shows a misplaced chunk.
  std::string large(std::size_t{7} << 19, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 / 3);
  EXPECT_TRUE(Compare(large, large).ok());

  std::string changed = large;
  changed[(std::size_t{5} << 19) + 17] ^= 0x20;
  const FsStatus different = Compare(changed, large);
  EXPECT_EQ(different.code, MismatchStatus("", "").code);
  EXPECT_NE(different.message.find("(байт " + std::to_string((5 << 19) + 17) + ")"),
            std::string::npos)
      << different.message;
  EXPECT_EQ(different.path, Join(dir / "f", "written"));

  // One byte short, right after the whole file went through the same buffers.
  const FsStatus shorter = Compare(large.substr(0, large.size() - 1), large);
  EXPECT_EQ(shorter.message, "файл на диске короче, чем должен быть");
  const FsStatus longer = Compare(large + "x", large);
  EXPECT_EQ(longer.message, "файл на диске длиннее, чем должен быть");
  const FsStatus exact_chunks =
      Compare(large.substr(0, std::size_t{2} << 20) + "x", large.substr(0, std::size_t{2} << 20));
  EXPECT_EQ(exact_chunks.message, "файл на диске длиннее, чем должен быть");
  EXPECT_TRUE(Compare(large.substr(0, 3), large.substr(0, 3)).ok());
}

TEST_F(ReadBackTest, GeneratedContentIsComparedWithTheFileAsWell) {
  MakeFile(Join(dir / "f", "written"), "line one\nline two\n");
  EXPECT_TRUE(CompareWithBytes(*folder, "written", "line one\nline two\n").ok());
  EXPECT_EQ(CompareWithBytes(*folder, "written", "line one\nline two\nthree\n").message,
            "файл на диске короче, чем должен быть");
  const FsStatus other = CompareWithBytes(*folder, "written", "line one\nline TWO\n");
  EXPECT_NE(other.message.find("(байт 14)"), std::string::npos) << other.message;
}

TEST_F(ReadBackTest, ReadAheadTakesPlainFilesOnlyAndLeavesThemAsTheyAre) {
  MakeFile(Join(dir / "f", "plain"), "plain bytes");
  MakeDirs(Join(dir / "f", "sub"));
  EXPECT_FALSE(folder->ReadAhead("missing"));
  EXPECT_FALSE(folder->ReadAhead("sub"));
#ifdef __linux__
  EXPECT_TRUE(folder->ReadAhead("plain"));
  std::filesystem::create_symlink(Join(dir / "f", "plain"), Join(dir / "f", "link"));
  EXPECT_FALSE(folder->ReadAhead("link")) << "a link is never followed";
  ASSERT_EQ(mkfifo(Join(dir / "f", "pipe").c_str(), 0600), 0);
  EXPECT_FALSE(folder->ReadAhead("pipe")) << "a FIFO is neither waited on nor read";
#endif
  // What was read ahead is read as it is on the device, whichever way it is asked for.
  EXPECT_TRUE(CompareWithBytes(*folder, "plain", "plain bytes", false).ok());
  EXPECT_EQ(CompareWithBytes(*folder, "plain", "plain bytes!", false).message,
            "файл на диске короче, чем должен быть");
  EXPECT_EQ(ReadBytes(Join(dir / "f", "plain")), "plain bytes");
}

}  // namespace
}  // namespace talvex::build::testing
