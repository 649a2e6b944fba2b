// Whole builds from the demo kit, and the demo kit itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/end_state.h"
#include "engine/generated_files.h"
#include "engine/payload_manifest.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

TEST_F(PayloadTest, ATypicalBuildLaysOutTheWholePayload) {
  BuildOptions options;  // NFS, SMB and UPnP as at start
  options.Chsmb = CheckState::kUnchecked;
  options.pvr = CheckState::kChecked;
  const BuildResult result = Build(options);
  EXPECT_TRUE(result.failures.empty());

  std::vector<std::string> expected;
  for (const ManifestEntry& entry : PayloadManifest) {
    if (entry.Condition == nullptr || options::IsTicked(options.*entry.Condition)) {
      expected.push_back(Slashed(entry.RelativePath));
    }
  }
  EXPECT_EQ(expected.size(), kCoreEntryCount + 4);  // three UPnP entries and one NFS entry
  for (std::string_view generated : {kAccessNfsPath, kLibrariesPath, kGameInitPath}) {
    expected.push_back(Slashed(generated));
  }
  for (const std::string& file : FilesBelow(Kit("\\PVR"))) expected.push_back("PVR/" + file);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesBelow(drive_.path()), expected);
  EXPECT_GT(result.size_bytes, 0.0);
}

TEST_F(PayloadTest, EveryBoxTickedFindsEveryKitFileItNeeds) {
  BuildOptions options;
  for (const options::OptionField& field : options::kOptionFields) {
    if (field.check != nullptr) options.*field.check = CheckState::kChecked;
  }
  const BuildResult result = Build(options);
  EXPECT_TRUE(result.failures.empty()) << result.failures.front().path;
  for (const ManifestEntry& entry : PayloadManifest) {
    EXPECT_EQ(ReadBytes(Drive(entry.RelativePath)), ReadBytes(Kit(entry.RelativePath)));
  }
}

TEST_F(PayloadTest, AKitWithOtherLetterCaseBuildsWithTheTablesNamesOnTheDrive) {
  namespace fs = std::filesystem;
  // As if unpacked from an archive that upper-cased some names.
  fs::rename(U8Path(Kit("\\Talvex\\etc")), U8Path(Kit("\\Talvex\\ETC")));
  fs::rename(U8Path(Kit("\\Talvex")), U8Path(Kit("\\talvex")));
  fs::rename(U8Path(Kit("\\PVR")), U8Path(Kit("\\pvr")));
  fs::rename(U8Path(Kit("\\talvex\\rcTVX")), U8Path(Kit("\\talvex\\RCTVX")));

  options::BuildOptions options;
  options.pvr = options::CheckState::kChecked;
  const BuildResult result = Build(options);
  EXPECT_TRUE(result.failures.empty()) << result.failures.front().path;
  for (std::size_t index = 0; index < kCoreEntryCount; ++index) {
    EXPECT_TRUE(PathExists(Drive(PayloadManifest[index].RelativePath)))
        << PayloadManifest[index].RelativePath;
  }
  EXPECT_TRUE(PathExists(Drive("\\PVR\\pvr.ini")));
  const std::vector<std::string> top = talvex::testing::TreeListing(drive_.path());
  EXPECT_NE(std::find(top.begin(), top.end(), "Talvex/etc/rc.sysinit"), top.end());
  EXPECT_NE(std::find(top.begin(), top.end(), "Talvex/rcTVX"), top.end());
  EXPECT_NE(std::find(top.begin(), top.end(), "PVR/"), top.end());
  // The generated files went into the kit's own folder, whatever its case.
  EXPECT_TRUE(PathExists(Kit("\\talvex\\ETC\\init.d\\access_nfs")));
}

TEST(DemoKitTest, EveryFileNamesWhatItStandsFor) {
  for (const tools::KitFile& file : tools::DemoKitFiles(false)) {
    const std::string content = tools::DemoKitContent(file);
    EXPECT_NE(content.find("placeholder for " + file.relative), std::string::npos);
    EXPECT_EQ(content.size(), file.size);
  }
}

TEST(DemoKitTest, EveryLoaderTheListCanNameIsInTheKit) {
  const std::vector<tools::KitFile> files = tools::DemoKitFiles(false);
  for (const LoaderEntry& loader : kLoaderEntries) {
    // "$SYSROOT/../PVR/loader.so " names \PVR\loader.so at the drive's root.
    std::string relative(LoaderEntryText(loader).substr(std::string_view("$SYSROOT/..").size()));
    relative.pop_back();
    std::replace(relative.begin(), relative.end(), '/', '\\');
    EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const tools::KitFile& file) {
      return file.relative == relative;
    })) << relative;
  }
}

TEST(DemoKitTest, TheRealisticKitHasTensOfMegabytesAFewLargeFilesAndManySmallOnes) {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  std::uint64_t total = 0;
  int large = 0;
  int small = 0;
  for (const tools::KitFile& file : tools::DemoKitFiles(true)) {
    total += file.size;
    large += file.size >= 2 * kMiB;
    small += file.size <= 64 * 1024;
  }
  EXPECT_GE(total, 20 * kMiB);
  EXPECT_LE(total, 100 * kMiB);
  EXPECT_GE(large, 3);
  EXPECT_LE(large, 8);
  EXPECT_GE(small, 300);

  const tools::KitFile big{"\\Talvex\\opt\\brandeval\\usr\\bin\\gdb", 3 * kMiB};
  const std::string content = tools::DemoKitContent(big);
  EXPECT_EQ(content.size(), big.size);
  EXPECT_EQ(content, tools::DemoKitContent(big));  // the same bytes on every run
  EXPECT_TRUE(content.starts_with("Talvex Auto demo kit: placeholder for " + big.relative));
}

}  // namespace
}  // namespace talvex::build::testing
