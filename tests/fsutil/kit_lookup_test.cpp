// Finding kit files whose names differ in letter case from the tables.
#include "fsutil/kit_lookup.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/test_support.h"

namespace talvex::fsutil {
namespace {

using talvex::testing::Join;
using talvex::testing::MakeFile;
using talvex::testing::PathExists;
using talvex::testing::ReadBytes;
using talvex::testing::TempDir;

class KitLookupTest : public ::testing::Test {
 protected:
  std::string Lookup(std::string_view relative) {
    return FindKitPath(platform::NativeFileSystem(), kit_.path(), relative, false);
  }
  TempDir kit_;
};

TEST_F(KitLookupTest, TheExactSpellingFirstThenEachLevelIgnoringCase) {
  MakeFile(kit_ / "PVR/pvr.ini", "exact");
  EXPECT_EQ(Lookup("\\PVR\\pvr.ini"), kit_ / "PVR/pvr.ini");
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

}  // namespace
}  // namespace talvex::fsutil
