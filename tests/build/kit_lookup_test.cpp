// Finding kit files whose names differ in letter case from the tables.
#include "fsutil/kit_lookup.h"

#include <gtest/gtest.h>

#include "build/payload_manifest.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

using fsutil::FindKitPath;
using talvex::testing::Join;
using talvex::testing::MakeFile;
using talvex::testing::PathExists;
using talvex::testing::ReadBytes;

class KitLookupTest : public ::testing::Test {
 protected:
  std::string Lookup(std::string_view relative) {
    return FindKitPath(platform::NativeFileSystem(), kit_.path(), relative, false);
  }
  TempDir kit_;
};

TEST_F(KitLookupTest, TheExactSpellingIsTakenAsItIs) {
  MakeFile(kit_ / "Talvex/etc/rc.sysinit", "exact");
  EXPECT_EQ(Lookup("\\Talvex\\etc\\rc.sysinit"), kit_ / "Talvex/etc/rc.sysinit");
}

TEST_F(KitLookupTest, EachLevelIsMatchedIgnoringCase) {
  MakeFile(kit_ / "TALVEX/Etc/RC.SYSINIT", "from a Windows archive");
  const std::string found = Lookup("\\Talvex\\etc\\rc.sysinit");
  EXPECT_EQ(ReadBytes(found), "from a Windows archive");
  if (!platform::kCaseInsensitiveNames) {
    EXPECT_EQ(found, kit_ / "TALVEX/Etc/RC.SYSINIT");
  }
}

TEST_F(KitLookupTest, AnExactLevelWinsOverACaseVariantBesideIt) {
  if (platform::kCaseInsensitiveNames) GTEST_SKIP() << "names that differ in case are one name";
  MakeFile(kit_ / "talvex/rcTVX", "lower");
  MakeFile(kit_ / "TALVEX/rcTVX", "upper");
  MakeFile(kit_ / "Talvex/RCTVX", "exact folder");
  EXPECT_EQ(ReadBytes(Lookup("\\Talvex\\rcTVX")), "exact folder");
  EXPECT_EQ(ReadBytes(Lookup("\\TaLvEx\\rctvx")), "upper");  // the smallest name in byte order
}

TEST_F(KitLookupTest, WhatMatchesNothingKeepsTheTablesSpelling) {
  MakeFile(kit_ / "TALVEX/etc/other", "");
  const std::string found = Lookup("\\Talvex\\ETC\\init.d\\libraries");
  if (!platform::kCaseInsensitiveNames) {
    EXPECT_EQ(found, Join(kit_ / "TALVEX", "etc/init.d/libraries"));
  }
  EXPECT_FALSE(PathExists(found));
  EXPECT_EQ(FindKitPath(platform::NativeFileSystem(), kit_.path(), "\\PVR", false), kit_ / "PVR");
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

}  // namespace
}  // namespace talvex::build::testing
