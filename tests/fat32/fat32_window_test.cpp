// The window builds onto a FAT32 flash drive: the drive letter that fat32_case.sh backs with a
// fresh FAT32 image is picked in the drive list and "GO" is pressed, as a user would.
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "demo_kit.h"
#include "fat32_support.h"
#include "platform/win32/utf.h"
#include "program_runner.h"
#include "ui/win32/main_window.h"
#include "ui_test_support.h"

namespace talvex::testing {
namespace {

TEST(Fat32WindowTest, GoBuildsTheExpectedTreeWithTheKitsBytesOntoTheDrive) {
  const std::string volume = Fat32Volume();
  if (volume.empty()) GTEST_SKIP() << kNoVolume;
  ReferenceDrive reference;
  ASSERT_TRUE(reference.ready()) << kNoReferenceDrive;
  TempDir kit;
  ASSERT_TRUE(tools::WriteDemoKit(platform::NativeFileSystem(), kit.path(), false).ok());

  Recorder recorder;
  ui::win32::MainWindow* window = OpenMainWindowOnDrive(recorder, kit.path(), volume);
  ASSERT_NE(window, nullptr);
  HWND main = window->handle();
  ASSERT_EQ(window->model().options().Drive1.substr(0, 2), volume)
      << "the drive list shows no " << volume;
  {
    MessageBoxAnswerer answer(IDNO);
    Click(window->Control("CommanEND"));
    Pump();
  }
  DestroyWindow(main);
  Pump();
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONQUESTION))
      << "a step failed: " << platform::WideToUtf8(recorder.boxes[0].text);

  // The window's initial choices are talvex-build's defaults.
  const ProgramRun run = RunProgram(BuildProgram(), BuildArguments(kit.path(), reference.target()));
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const TreeBytes built = TreeWithBytes(VolumeRoot(volume));
  EXPECT_EQ(built, TreeWithBytes(reference.root()));
  ExpectKitBytes(built, kit.path());
  EXPECT_TRUE(built.contains("Talvex/etc/init.d/access_nfs"));
}

}  // namespace
}  // namespace talvex::testing
