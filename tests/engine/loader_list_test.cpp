// The extension loader list `libraries` and the game start script that comes with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/generated_files.h"
#include "payload_fixture.h"

namespace talvex::build::testing {
namespace {

std::string LibrariesOf(const BuildOptions& options) {
  return ComposeGeneratedFile(kLibrariesPieces, options).bytes;
}

TEST(LoaderListTest, BytesForOneTwoAndAllFiveLoaders) {
  BuildOptions options = AllUnticked();
  options.arFix2cip = CheckState::kChecked;
  EXPECT_EQ(LibrariesOf(options), "libraries=\"$SYSROOT/../arfix2-cip/loader.so \" # \r\n");

  options = AllUnticked();
  options.Switch = CheckState::kChecked;
  options.pvr = CheckState::kChecked;
  EXPECT_EQ(LibrariesOf(options),
            "libraries=\"$SYSROOT/../PVR/loader.so $SYSROOT/../Switch/loader.so \" # \r\n");

  // Clicked in the window from the last loader to the first, the list still follows the table;
  // the two fixes exclude each other there, so a caller sets the fifth box itself.
  options = AllUnticked();
  for (CheckState BuildOptions::*box : {&BuildOptions::arFix2cip, &BuildOptions::Switch,
                                        &BuildOptions::ChInfo, &BuildOptions::pvr}) {
    options.*box = CheckState::kChecked;
    options::ApplyCouplingRules(options, box);
  }
  options.arFix2 = CheckState::kChecked;
  EXPECT_EQ(LibrariesOf(options),
            "libraries=\"$SYSROOT/../PVR/loader.so $SYSROOT/../ChannelInfo/loader.so "
            "$SYSROOT/../Switch/loader.so $SYSROOT/../arfix2/loader.so "
            "$SYSROOT/../arfix2-cip/loader.so \" # \r\n");
}

TEST_F(PayloadTest, TheMasterIsWrittenThenTheStartScriptThenTheListIsPlaced) {
  BuildOptions options = AllUnticked();
  options.pvr = CheckState::kChecked;
  platform::FaultInjectingFileSystem journaled(fs());
  const BuildResult result = Build(options, journaled);
  EXPECT_TRUE(result.failures.empty());

  const std::string line = "libraries=\"$SYSROOT/../PVR/loader.so \" # \r\n";
  EXPECT_EQ(ReadBytes(Kit(kLibrariesPath)), line);
  EXPECT_EQ(ReadBytes(Drive(kLibrariesPath)), line);
  EXPECT_EQ(ReadBytes(Drive(kGameInitPath)), ReadBytes(Kit(kGameInitPath)));

  std::vector<std::string> order;
  for (const auto& entry : journaled.JournalAsRenamed()) {
    if (entry.path == Kit(kLibrariesPath) || entry.path == Drive(kLibrariesPath) ||
        entry.path == Drive(kGameInitPath)) {
      order.push_back(std::string(platform::FsOperationName(entry.operation)) + " " + entry.path);
    }
  }
  // The drive's list is written from the content this build composed, not copied from the
  // master, which another build sharing the kit may have replaced meanwhile.
  EXPECT_EQ(order, (std::vector<std::string>{"WriteFile " + Kit(kLibrariesPath),
                                             "CopyFile " + Drive(kGameInitPath),
                                             "WriteFile " + Drive(kLibrariesPath)}));
}

TEST_F(PayloadTest, NeitherFileReachesTheDriveWithoutATickedLoaderBox) {
  MakeFile(Kit(kLibrariesPath), "libraries=\"old\" # \r\n");
  BuildOptions options = AllUnticked();
  options.mc = CheckState::kChecked;
  options.NetSurf = CheckState::kChecked;
  options.Switch = CheckState::kGrayed;
  Build(options);
  EXPECT_FALSE(PathExists(Drive(kLibrariesPath)));
  EXPECT_FALSE(PathExists(Drive(kGameInitPath)));
  EXPECT_EQ(ReadBytes(Kit(kLibrariesPath)), "libraries=\"old\" # \r\n");
}

TEST_F(PayloadTest, AMissingStartScriptFailsAloneAndTheListIsStillPlaced) {
  std::remove(Kit(kGameInitPath).c_str());
  BuildOptions options = AllUnticked();
  options.Switch = CheckState::kChecked;
  const BuildResult result = Build(options);
  EXPECT_TRUE(PathExists(Drive(kLibrariesPath)));
  EXPECT_FALSE(PathExists(Drive(kGameInitPath)));
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].action, action::kCopyFile);
  EXPECT_EQ(result.failures[0].path, Kit(kGameInitPath));
}

}  // namespace
}  // namespace talvex::build::testing
