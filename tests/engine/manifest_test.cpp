// The payload manifest: the table itself, and the walk that copies it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/payload_manifest.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

std::string FolderOf(std::string_view relative) {
  return std::string(relative.substr(0, relative.rfind('\\')));
}

// The ten boxes with entries in the manifest, in the order their groups come.
const std::vector<CheckState BuildOptions::*> kServiceBoxes = {
    &BuildOptions::Chavto, &BuildOptions::Chcopi, &BuildOptions::Chssh,  &BuildOptions::Chtelnet,
    &BuildOptions::ChNfs,  &BuildOptions::Chsmb,  &BuildOptions::Chupnp, &BuildOptions::ChRey,
    &BuildOptions::Chftp,  &BuildOptions::Chwifi};

// The manifest's own files on the drive, sorted as FilesBelow lists them.
std::vector<std::string> ExpectedFiles(std::size_t first, std::size_t last) {
  std::vector<std::string> files;
  for (std::size_t index = first; index < last; ++index) {
    files.push_back(Slashed(PayloadManifest[index].RelativePath));
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(PayloadManifestTest, CoreEntriesFirstThenTenConsecutiveGroupsInBuildOrder) {
  for (std::size_t index = 0; index < PayloadManifest.size(); ++index) {
    EXPECT_EQ(PayloadManifest[index].Condition == nullptr, index < kCoreEntryCount) << index;
  }
  std::vector<CheckState BuildOptions::*> groups;
  for (const ManifestEntry& entry : PayloadManifest) {
    if (entry.Condition != nullptr && (groups.empty() || groups.back() != entry.Condition)) {
      groups.push_back(entry.Condition);
    }
  }
  EXPECT_EQ(groups, kServiceBoxes);  // ten groups, none split, in the build's order
}

TEST(PayloadManifestTest, PathsAreUniqueAndLandInTheTenFoldersTheSkeletonMakes) {
  std::set<std::string_view> paths;
  std::map<std::string, std::pair<int, int>> per_folder;  // core, optional
  for (const ManifestEntry& entry : PayloadManifest) {
    EXPECT_TRUE(paths.insert(entry.RelativePath).second) << entry.RelativePath;
    EXPECT_TRUE(entry.RelativePath.starts_with("\\Talvex\\")) << entry.RelativePath;
    auto& counts = per_folder[FolderOf(entry.RelativePath)];
    (entry.Condition == nullptr ? counts.first : counts.second)++;
  }
  const std::map<std::string, std::pair<int, int>> expected = {
      {"\\Talvex", {4, 0}},
      {"\\Talvex\\etc", {2, 2}},
      {"\\Talvex\\etc\\init.d", {1, 11}},
      {"\\Talvex\\lib\\modules", {1, 1}},
      {"\\Talvex\\lib\\modules\\mak", {2, 0}},
      {"\\Talvex\\lib\\modules\\treasure", {3, 3}},
      {"\\Talvex\\opt\\brandeval\\bin", {7, 0}},
      {"\\Talvex\\opt\\brandeval\\lib", {12, 0}},
      {"\\Talvex\\opt\\brandeval\\usr\\bin", {4, 4}},
      {"\\Talvex\\opt\\brandeval\\usr\\sbin", {5, 0}},
  };
  EXPECT_EQ(per_folder, expected);
  for (const auto& [folder, counts] : per_folder) {
    bool made = false;
    for (std::string_view skeleton : kSkeletonDirectories) {
      made = made || skeleton == folder ||
             (skeleton.starts_with(folder) && skeleton[folder.size()] == '\\');
    }
    EXPECT_TRUE(made) << folder;
  }
}

TEST_F(PayloadTest, AllServicesUntickedCopiesExactlyTheCoreEntries) {
  BuildOptions options = AllUnticked();
  options.Chcopi = CheckState::kGrayed;
  options.Chupnp = CheckState::kGrayed;
  const BuildResult result = Build(options);
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(FilesBelow(drive_.path()), ExpectedFiles(0, kCoreEntryCount));
  // Names keep the table's letter case, with no extension added.
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\TalvexE.so")));
  EXPECT_EQ(ReadBytes(Drive("\\Talvex\\rcTVX")), ReadBytes(Kit("\\Talvex\\rcTVX")));
}

TEST_F(PayloadTest, AllServicesTickedCopiesAllEntriesInTableOrder) {
  BuildOptions options = AllUnticked();
  for (auto box : kServiceBoxes) options.*box = CheckState::kChecked;
  platform::FaultInjectingFileSystem journaled(fs());
  EXPECT_TRUE(Build(options, journaled).failures.empty());

  std::vector<std::string> copied = journaled.JournalPathsAsRenamed(FsOperation::kCopyFile);
  ASSERT_GE(copied.size(), PayloadManifest.size());
  copied.erase(copied.begin(), copied.end() - static_cast<std::ptrdiff_t>(PayloadManifest.size()));
  std::vector<std::string> expected;
  for (const ManifestEntry& entry : PayloadManifest) expected.push_back(Drive(entry.RelativePath));
  EXPECT_EQ(copied, expected);
}

TEST_F(PayloadTest, EachBoxIsTestedByItselfAutoStartWithoutCopyIncluded) {
  BuildOptions options = AllUnticked();
  options.Chavto = CheckState::kChecked;
  options.Chssh = CheckState::kGrayed;
  Build(options);
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\etc\\init.d\\02_01_auto.init")));
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\etc\\init.d\\02_02_copy.init")));
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\etc\\init.d\\01_02_sshd.init")));
  // The core keeps what the services use: fuse and the dropbear programs come regardless.
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\opt\\brandeval\\lib\\libfuse.so.2")));
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\sbin\\dropbear")));
  EXPECT_FALSE(PathExists(Drive("\\Talvex\\opt\\brandeval\\usr\\bin\\djmount")));
}

TEST_F(PayloadTest, AMissingKitFileIsRecordedAndEveryLaterEntryIsStillCopied) {
  std::remove(Kit("\\Talvex\\etc\\release").c_str());
  const BuildResult result = Build(AllUnticked());
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kCopyFile);
  EXPECT_EQ(result.failures[0].path, Kit("\\Talvex\\etc\\release"));
  EXPECT_NE(result.failures[0].code, 0);
  std::vector<std::string> expected = ExpectedFiles(0, kCoreEntryCount);
  std::erase(expected, "Talvex/etc/release");
  EXPECT_EQ(FilesBelow(drive_.path()), expected);
}

// Without a master tree the build would wipe the stick and copy nothing back: it never starts.
TEST_F(PayloadTest, AKitWithoutTalvexIsRefusedBeforeAnythingIsTouched) {
  std::filesystem::remove_all(U8Path(Kit("\\Talvex")));
  talvex::testing::MakeFile(Drive("\\Talvex\\rcTVX"), "from an earlier build");
  platform::FaultInjectingFileSystem watched(fs());
  const BuildResult result = Build(AllUnticked(), watched);
  EXPECT_TRUE(result.refused);
  EXPECT_NE(result.refusal.find(kit_.path()), std::string::npos) << result.refusal;
  EXPECT_TRUE(watched.journal().empty());
  EXPECT_EQ(talvex::testing::ReadBytes(Drive("\\Talvex\\rcTVX")), "from an earlier build");
}

}  // namespace
}  // namespace talvex::build::testing
