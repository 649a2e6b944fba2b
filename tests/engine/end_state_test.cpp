// A build reaches the payload its choices make, whatever the drive held: the same names, bytes,
// attributes and absences, and the same report, as a build that removes the old payload first
// and writes everything anew. A pull at any moment leaves a drive the next build repairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/compare.h"
#include "engine/session.h"
#include "payload_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvex::build::testing {
namespace {

// What a drive holds, as the television sees it: every entry with its bytes and the attributes
// a build decides (read-only, hidden, system).
std::map<std::string, std::string> DriveState(const std::string& root) {
  std::map<std::string, std::string> state;
  for (const std::string& entry : TreeListing(root)) {
    std::uint32_t attributes = 0;
    platform::NativeFileSystem().QueryAttributes(talvex::testing::Join(root, entry), attributes);
    std::string& seen = state[entry];
    seen = "attributes " +
           std::to_string(attributes & (platform::kAttrReadOnly | platform::kAttrHidden |
                                        platform::kAttrSystem));
    if (!entry.ends_with('/'))
      seen += " " + talvex::testing::ReadBytes(talvex::testing::Join(root, entry));
  }
  return state;
}

// What a report says, the drive's name aside (the two builds run on two folders).
std::vector<std::string> ReportWithout(const SessionResult& session, const std::string& drive) {
  std::vector<std::string> lines(session.report.lines.begin() + 1, session.report.lines.end());
  for (const std::string& line : session.report.failure_lines) {
    std::string relative = line;
    if (const std::size_t at = relative.find(drive); at != std::string::npos) {
      relative.erase(at, drive.size());
    }
    lines.push_back(relative);
  }
  return lines;
}

BuildOptions Now() {
  BuildOptions options = SharesPvrAndFtp();
  options.mc = CheckState::kChecked;
  return options;
}

BuildOptions EveryBox() {
  BuildOptions options = Now();
  for (const options::OptionField& field : options::kOptionFields) {
    if (field.check != nullptr && field.check != &BuildOptions::arFix2cip) {
      options.*field.check = CheckState::kChecked;
    }
  }
  options.TextIP = "10.0.0.7";
  return options;
}

class EndStateTest : public PayloadTest {
 public:
  SessionResult Session(platform::FileSystem& fs, const std::string& drive,
                        const BuildOptions& options, bool fresh = false) {
    SessionRequest request{kit_.path(), TargetOfFolder(drive), options};
    request.fresh = fresh;
    return RunSession(fs, request);
  }

  // An earlier build with every box ticked, as a user's stick holds one.
  void EarlierBuild(const std::string& drive) {
    ASSERT_TRUE(Session(fs(), drive, EveryBox()).build.Complete());
  }

  static std::string At(const std::string& drive, std::string_view relative) {
    return platform::JoinPayloadPath(drive, relative);
  }
};

// One starting state of the drive, made twice: once for each kind of build.
struct StartingState {
  const char* what;
  std::function<void(EndStateTest&, const std::string& drive)> make;
};

TEST_F(EndStateTest, FromAnyStartingStateTheDriveEndsAsAFreshBuildLeavesIt) {
  const StartingState states[] = {
      {"an empty drive", [](EndStateTest&, const std::string&) {}},
      {"an earlier build with other choices",
       [](EndStateTest& test, const std::string& drive) { test.EarlierBuild(drive); }},
      {"stale files and folders, and the user's own beside the payload",
       [](EndStateTest& test, const std::string& drive) {
         test.EarlierBuild(drive);
         MakeFile(At(drive, "\\Talvex\\etc\\init.d\\99_old.init"), "old");
         MakeFile(At(drive, "\\PVR\\recordings\\film.ts"), "old recording");
         MakeFile(At(drive, "\\mc\\old\\deep\\file"), "old");
         MakeFile(At(drive, "\\photos\\me.jpg"), "the user's own");
       }},
      {"names in another letter case",
       [](EndStateTest&, const std::string& drive) {
         MakeFile(At(drive, "\\TALVEX\\ETC\\RC.SYSINIT"), "another tool's");
         MakeFile(At(drive, "\\pvr\\PVR.INI"), "another tool's");
         MakeFile(At(drive, "\\Talvex\\RCTVX"), "another tool's");
       }},
      {"read-only files, one of them as the kit has it",
       [](EndStateTest& test, const std::string& drive) {
         test.EarlierBuild(drive);
         for (std::string_view file : {"\\Talvex\\rcTVX", "\\PVR\\pvr.ini"}) {
           ASSERT_TRUE(talvex::testing::SetAttributes(platform::NativeFileSystem(), At(drive, file),
                                                      platform::kAttrReadOnly));
         }
         MakeFile(At(drive, "\\Talvex\\etc\\release"), "changed");
         ASSERT_TRUE(talvex::testing::SetAttributes(platform::NativeFileSystem(),
                                                    At(drive, "\\Talvex\\etc\\release"),
                                                    platform::kAttrReadOnly));
       }},
      {"a folder where a file goes, and a file where a folder goes",
       [](EndStateTest&, const std::string& drive) {
         MakeFile(At(drive, "\\Talvex\\rcTVX\\inside"), "a folder in a file's place");
         MakeFile(At(drive, "\\Talvex\\etc"), "a file in a folder's place");
         MakeFile(At(drive, "\\mc"), "a file in an application folder's place");
       }},
      {"temporaries of a build that was killed",
       [](EndStateTest& test, const std::string& drive) {
         test.EarlierBuild(drive);
         MakeFile(At(drive, "\\Talvex\\etc\\.talvex-new-00000000deadbeef-3"), "half");
         MakeFile(At(drive, "\\.talvex-new-00000000deadbeef-9"), "half");
         MakeFile(At(drive, "\\PVR\\.tvx-k3f12"), "half");
         MakeFile(At(drive, "\\.tvx-k3f13"), "half");
       }},
      {"a file of the right size with other bytes",
       [](EndStateTest& test, const std::string& drive) {
         test.EarlierBuild(drive);
         std::string bytes = talvex::testing::ReadBytes(At(drive, "\\Talvex\\rcTVX"));
         bytes[bytes.size() / 2] ^= 0x20;
         MakeFile(At(drive, "\\Talvex\\rcTVX"), bytes);
       }},
  };
  for (const StartingState& state : states) {
    SCOPED_TRACE(state.what);
    TempDir updated;
    TempDir fresh;
    state.make(*this, updated.path());
    state.make(*this, fresh.path());
    const SessionResult by_update = Session(fs(), updated.path(), Now());
    const SessionResult from_scratch = Session(fs(), fresh.path(), Now(), true);
    EXPECT_EQ(DriveState(updated.path()), DriveState(fresh.path()));
    EXPECT_EQ(ReportWithout(by_update, updated.path()), ReportWithout(from_scratch, fresh.path()));
    EXPECT_TRUE(by_update.build.Complete()) << by_update.build.failures.size();
    for (const std::string& entry : TreeListing(updated.path())) {
      EXPECT_FALSE(IsTemporaryName(entry.substr(entry.find_last_of("\\/") + 1))) << entry;
    }
  }
}

// A rebuild after a change of one address writes that one file and nothing else.
TEST_F(EndStateTest, ARebuildWritesOnlyWhatChanged) {
  EarlierBuild(drive_.path());
  BuildOptions options = EveryBox();
  options.TextIP = "10.0.0.8";
  FaultInjectingFileSystem watched(fs());
  ASSERT_TRUE(Session(watched, drive_.path(), options).build.Complete());
  std::vector<std::string> written =
      watched.JournalPathsAsRenamed(platform::FsOperation::kWriteFile);
  std::vector<std::string> copied = watched.JournalPathsAsRenamed(platform::FsOperation::kCopyFile);
  std::erase_if(written, [&](const std::string& path) { return path.starts_with(kit_.path()); });
  EXPECT_EQ(written, std::vector<std::string>{Drive("\\Talvex\\etc\\init.d\\access_nfs")});
  EXPECT_TRUE(copied.empty());
}

// The stick pulled at every moment of a rebuild: the build ends, nothing outside the payload
// changed, and the next build leaves the drive as a fresh build does, without a temporary.
TEST_F(EndStateTest, APullAtAnyMomentIsRepairedByTheNextBuild) {
  TempDir reference;
  EarlierBuild(reference.path());
  ASSERT_TRUE(Session(fs(), reference.path(), Now(), true).build.Complete());
  const std::map<std::string, std::string> expected = DriveState(reference.path());
  std::size_t calls = 0;
  {
    TempDir probe;
    EarlierBuild(probe.path());
    FaultInjectingFileSystem counting(fs());
    Session(counting, probe.path(), Now());
    calls = counting.calls();
  }
  ASSERT_GT(calls, 100u);
  // A hundred moments, spread over the whole build; every one would take minutes.
#ifdef _WIN32
  const std::size_t stride = std::max<std::size_t>(1, calls / 12);  // Wine is slower still
#else
  const std::size_t stride = std::max<std::size_t>(1, calls / 100);
#endif
  for (std::size_t pull = 0; pull < calls; pull += stride) {
    TempDir drive;
    EarlierBuild(drive.path());
    MakeFile(At(drive.path(), "\\photos\\me.jpg"), "the user's own");
    FaultInjectingFileSystem stick(fs());
    stick.PullAfterCalls(drive.path(), pull, kDeviceGone);
    Session(stick, drive.path(), Now());
    for (const std::string& entry : TreeListing(kit_.path())) {
      ASSERT_EQ(entry.find(".talvex-guard-"), std::string::npos) << entry << " pulled at " << pull;
    }
    ASSERT_EQ(talvex::testing::ReadBytes(At(drive.path(), "\\photos\\me.jpg")), "the user's own")
        << "pulled at call " << pull;
    ASSERT_TRUE(Session(fs(), drive.path(), Now()).build.Complete()) << "pulled at call " << pull;
    std::map<std::string, std::string> repaired = DriveState(drive.path());
    repaired.erase("photos/");
    repaired.erase("photos/me.jpg");
    ASSERT_EQ(repaired, expected) << "pulled at call " << pull;
  }
}

// What the drive cannot hold is refused before anything is written; what it can hold only in
// place is written so, and the report says the old payload could not be kept meanwhile.
TEST_F(EndStateTest, RoomAndFileSizeAreKnownBeforeTheFirstByte) {
  const std::string old_bytes = talvex::testing::ReadBytes(Kit("\\Talvex\\rcTVX"));
  const struct {
    const char* what;
    platform::VolumeFacts volume;
    bool refused;
    bool in_place;
  } rows[] = {
      {"a file larger than FAT32 holds", {std::nullopt, 1u << 20}, true, false},
      {"no room even in place", {std::uint64_t{1} << 20, std::nullopt}, true, false},
      {"room in place only", {std::uint64_t{(3u << 20) - 100}, std::nullopt}, false, true},
      {"room for everything", {std::uint64_t{64} << 20, std::nullopt}, false, false},
      {"a volume that tells no size", {std::nullopt, std::nullopt}, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir drive;
    MakeFile(Kit("\\Talvex\\rcTVX"), old_bytes);
    EarlierBuild(drive.path());
    MakeFile(Kit("\\Talvex\\rcTVX"), std::string(3 << 20, 'n'));  // changed: 3 MiB to write
    FaultInjectingFileSystem stick(fs());
    stick.PretendVolume(row.volume);
    const SessionResult result = Session(stick, drive.path(), EveryBox());
    EXPECT_EQ(result.build.refused, row.refused) << result.build.refusal;
    if (row.refused) {
      EXPECT_NE(result.build.refusal.find(row.volume.largest_file ? "rcTVX" : "МБ"),
                std::string::npos)
          << result.build.refusal;
      EXPECT_TRUE(stick.JournalWithout(".talvex-guard-").empty());
      continue;
    }
    EXPECT_TRUE(result.build.Complete());
    EXPECT_EQ(!result.build.in_place_line.empty(), row.in_place);
    EXPECT_EQ(std::find(result.report.lines.begin(), result.report.lines.end(),
                        result.build.in_place_line) != result.report.lines.end(),
              row.in_place);
    EXPECT_EQ(talvex::testing::ReadBytes(At(drive.path(), "\\Talvex\\rcTVX")),
              std::string(3 << 20, 'n'));
  }
}

}  // namespace
}  // namespace talvex::build::testing
