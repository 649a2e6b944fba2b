// The conversions at the Win32 edge: every UTF-8 name has exactly one UTF-16 form and back.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/win32/utf.h"
#include "platform/win32/windows_api.h"
#include "support/test_support.h"

namespace talvex::platform {
namespace {

TEST(UtfTest, RoundTripsCyrillicAndCharactersBeyondTheBasicPlane) {
  const std::string utf8 = "Ж\xF0\x9F\x93\xBA e:\\Talvex";  // Zhe, a television emoji
  std::wstring wide;
  ASSERT_TRUE(TryUtf8ToWide(utf8, wide));
  EXPECT_EQ(wide, std::wstring(L"\x0416\xD83D\xDCFA e:\\Talvex"));
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(UtfTest, InvalidUtf8IsRefusedStrictlyAndReplacedForDisplay) {
  const std::string broken = "a\xC3(b";
  std::wstring wide = L"untouched";
  EXPECT_FALSE(TryUtf8ToWide(broken, wide));
  EXPECT_EQ(wide, L"untouched");
  EXPECT_EQ(Utf8ToWide(broken), std::wstring(L"a\xFFFD(b"));
}

TEST(UtfTest, APathThatIsNotUtf8NamesNoFile) {
  testing::TempDir dir;
  const std::string broken = dir / "bad\xFFname.txt";
  std::unique_ptr<Directory> folder;
  ASSERT_TRUE(NativeFileSystem().OpenDirectory(dir.path(), folder).ok());
  const FsStatus written = folder->WriteFileIn("bad\xFFname.txt", "x");
  EXPECT_EQ(written.code, ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(written.path, broken);
  EXPECT_TRUE(testing::TreeListing(dir.path()).empty());
}

}  // namespace
}  // namespace talvex::platform
