// The hook through which a long copy keeps the caller's window alive.
#include "platform/copy_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/file_system.h"
#include "support/test_support.h"

namespace talvex::platform {
namespace {

TEST(CopyProgressHookTest, IsSetForItsScopeOnItsThreadOnlyAndNestedScopesRestoreTheOuterOne) {
  int outer_calls = 0, inner_calls = 0;
  EXPECT_FALSE(HasCopyProgressHook());
  ReportCopyProgress();  // nothing set: nothing happens
  {
    const ScopedCopyProgressHook outer([&] { ++outer_calls; });
    ReportCopyProgress();
    {
      const ScopedCopyProgressHook inner([&] { ++inner_calls; });
      ReportCopyProgress();
      bool other_thread_has_hook = true;
      std::thread([&] {
        other_thread_has_hook = HasCopyProgressHook();
        ReportCopyProgress();
      }).join();
      EXPECT_FALSE(other_thread_has_hook);
    }
    ReportCopyProgress();
  }
  EXPECT_FALSE(HasCopyProgressHook());
  EXPECT_EQ(outer_calls, 2);
  EXPECT_EQ(inner_calls, 1);
}

#ifdef _WIN32
// On Windows the copy of one file runs beside the caller, which calls its hook until the copy
// ends; the copy's outcome is the same as without a hook.
TEST(CopyProgressHookTest, AWin32CopyCallsTheHookOnTheCallersThreadAndKeepsItsOutcome) {
  testing::TempDir folder;
  const std::string source = folder / "source.bin";
  std::string bytes(64u << 20, 'x');
  for (std::size_t i = 0; i < bytes.size(); i += 4096) bytes[i] = static_cast<char>(i >> 12);
  testing::MakeFile(source, bytes);
  const std::thread::id caller = std::this_thread::get_id();
  int calls_elsewhere = 0;
  {
    const ScopedCopyProgressHook hook([&] {
      if (std::this_thread::get_id() != caller) ++calls_elsewhere;
    });
    ASSERT_TRUE(NativeFileSystem().CopyFile(source, folder / "target.bin").ok());
    const FsStatus missing = NativeFileSystem().CopyFile(folder / "no such file", folder / "t2");
    EXPECT_EQ(missing.code, 2) << missing.message;  // ERROR_FILE_NOT_FOUND, as without a hook
  }
  EXPECT_EQ(testing::ReadBytes(folder / "target.bin"), bytes);
  EXPECT_EQ(calls_elsewhere, 0);
}
#endif

}  // namespace
}  // namespace talvex::platform
