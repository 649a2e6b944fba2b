// The application folders at the drive's root: replaced by a fresh copy of the kit's folder when
// ticked, untouched otherwise; and the folder copy underneath.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/app_folders.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

// The application folders present at the drive's root.
std::vector<std::string> AppFoldersOnDrive(const std::string& drive) {
  std::vector<std::string> present;
  for (const AppFolderEntry& entry : AppFolders) {
    if (PathExists(platform::JoinPayloadPath(drive, "\\" + std::string(entry.FolderName)))) {
      present.emplace_back(entry.FolderName);
    }
  }
  return present;
}

TEST_F(PayloadTest, OnlyNetSurfTickedCopiesItsWholeTreeAndNothingElse) {
  BuildOptions options = AllUnticked();
  options.NetSurf = CheckState::kChecked;
  const BuildResult result = Build(options);
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(AppFoldersOnDrive(drive_.path()), std::vector<std::string>{"NetSurf"});
  EXPECT_EQ(TreeListing(Drive("\\NetSurf")), TreeListing(Kit("\\NetSurf")));
  EXPECT_EQ(ReadBytes(Drive("\\NetSurf\\bin\\netsurf")), ReadBytes(Kit("\\NetSurf\\bin\\netsurf")));
}

TEST_F(PayloadTest, EveryTickedFolderIsHandledInTableOrderUnderItsOwnName) {
  BuildOptions options = AllUnticked();
  for (const AppFolderEntry& entry : AppFolders) options.*entry.Condition = CheckState::kChecked;
  platform::FaultInjectingFileSystem journaled(fs());
  EXPECT_TRUE(Build(options, journaled).failures.empty());

  std::vector<std::string> created;
  for (const std::string& path : journaled.JournalPathsAsRenamed(FsOperation::kCreateDirectory)) {
    for (const AppFolderEntry& entry : AppFolders) {
      if (path == Drive("\\" + std::string(entry.FolderName)))
        created.emplace_back(entry.FolderName);
    }
  }
  EXPECT_EQ(created, (std::vector<std::string>{"PVR", "mc", "NetSurf", "ChannelInfo", "Switch",
                                               "arfix2-cip", "arfix2"}));
  EXPECT_TRUE(PathExists(Drive("\\ChannelInfo\\loader.so")));
  EXPECT_FALSE(PathExists(Drive("\\ChInfo")));
}

TEST_F(PayloadTest, AStaleFileGoesWhenTheAppIsTickedAndStaysWhenItIsNot) {
  MakeFile(Drive("\\PVR\\recording.ts"), "left by an earlier build");
  BuildOptions options = AllUnticked();
  options.pvr = CheckState::kGrayed;
  Build(options);
  EXPECT_EQ(ReadBytes(Drive("\\PVR\\recording.ts")), "left by an earlier build");
  EXPECT_FALSE(PathExists(Drive("\\PVR\\pvr.ini")));

  options.pvr = CheckState::kChecked;
  Build(options);
  EXPECT_FALSE(PathExists(Drive("\\PVR\\recording.ts")));
  EXPECT_EQ(TreeListing(Drive("\\PVR")), TreeListing(Kit("\\PVR")));

  // A later build without PVR leaves the copy just made as it is.
  MakeFile(Drive("\\PVR\\recording.ts"), "new recording");
  options.pvr = CheckState::kUnchecked;
  Build(options);
  EXPECT_EQ(ReadBytes(Drive("\\PVR\\recording.ts")), "new recording");
}

TEST_F(PayloadTest, AMissingMasterFolderLeavesAnEmptyFolderAndTheBuildGoesOn) {
  std::filesystem::remove_all(U8Path(Kit("\\NetSurf")));
  BuildOptions options = AllUnticked();
  options.NetSurf = CheckState::kChecked;
  options.Switch = CheckState::kChecked;
  const BuildResult result = Build(options);

  EXPECT_TRUE(IsDirectory(Drive("\\NetSurf")));
  EXPECT_TRUE(TreeListing(Drive("\\NetSurf")).empty());
  EXPECT_EQ(TreeListing(Drive("\\Switch")), TreeListing(Kit("\\Switch")));
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kCopyFolder);
  EXPECT_EQ(result.failures[0].path, Kit("\\NetSurf"));
  EXPECT_TRUE(PathExists(Drive("\\Talvex\\rcTVX")));  // the manifest still ran
}

// One file the stick refuses costs that file alone: the rest of its folder is still copied,
// and the file is named.
TEST_F(PayloadTest, AFileThatCannotBeCopiedIsNamedAndTheRestOfItsFolderStillCopied) {
  platform::FaultInjectingFileSystem faulty(fs());
  faulty.FailOn(FsOperation::kCopyFile, Kit("\\mc\\etc\\mc.conf"), 112,
                "There is not enough space");
  BuildOptions options = AllUnticked();
  options.mc = CheckState::kChecked;
  options.NetSurf = CheckState::kChecked;
  const BuildResult result = Build(options, faulty);

  EXPECT_FALSE(PathExists(Drive("\\mc\\etc\\mc.conf")));
  std::vector<std::string> expected = TreeListing(Kit("\\mc"));
  std::erase(expected, "etc/mc.conf");
  EXPECT_EQ(TreeListing(Drive("\\mc")), expected);
  EXPECT_EQ(TreeListing(Drive("\\NetSurf")), TreeListing(Kit("\\NetSurf")));
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kCopyFile);
  EXPECT_EQ(result.failures[0].path, Kit("\\mc\\etc\\mc.conf"));
  EXPECT_EQ(result.failures[0].code, 112);
}

// A file on the stick that another program holds cannot be replaced: it is named, stays as it
// was, and no temporary is left beside it; the rest of its folder is the kit's.
TEST_F(PayloadTest, AFileHeldOpenOnTheDriveIsNamedAndTheRestOfItsFolderLands) {
  MakeFile(Drive("\\PVR\\pvr.ini"), "held open by another program");
  platform::FaultInjectingFileSystem faulty(fs());
  faulty.FailOn(FsOperation::kRename, Drive("\\PVR\\pvr.ini"), 32, "in use");
  BuildOptions options = AllUnticked();
  options.pvr = CheckState::kChecked;
  const BuildResult result = Build(options, faulty);

  EXPECT_EQ(ReadBytes(Drive("\\PVR\\pvr.ini")), "held open by another program");
  EXPECT_EQ(TreeListing(Drive("\\PVR")), TreeListing(Kit("\\PVR")));
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kRenameEntry);
  EXPECT_EQ(result.failures[0].path, Drive("\\PVR\\pvr.ini"));
}

TEST_F(PayloadTest, LinksInsideAMasterFolderAreNamedNeitherFollowedNorLooped) {
  namespace fs = std::filesystem;
  const std::string outside = kit_ / "outside";
  MakeFile(outside + platform::kPathSeparator + "secret.txt", "not part of PVR");
  std::error_code error;
  fs::create_directory_symlink(U8Path(outside), U8Path(Kit("\\PVR\\outside")), error);
  fs::create_directory_symlink(U8Path(Kit("\\PVR")), U8Path(Kit("\\PVR\\loop")), error);
  if (error || !PathExists(Kit("\\PVR\\loop"))) GTEST_SKIP() << "no directory links here";

  BuildOptions options = AllUnticked();
  options.pvr = CheckState::kChecked;
  const BuildResult result = Build(options);
  ASSERT_EQ(result.failures.size(), 2u);  // each link named
  for (const StepFailure& failure : result.failures) {
    EXPECT_EQ(failure.action, action::kCopyFile);
    EXPECT_EQ(failure.reason, platform::kLinkRefused);
  }
  EXPECT_FALSE(PathExists(Drive("\\PVR\\outside")));
  EXPECT_FALSE(PathExists(Drive("\\PVR\\loop")));
  EXPECT_TRUE(PathExists(Drive("\\PVR\\pvr.ini")));
}

}  // namespace
}  // namespace talvex::build::testing
