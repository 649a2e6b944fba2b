#include <gtest/gtest.h>

#include "platform/paths.h"

namespace talvex::platform {
namespace {

TEST(PathHelpersTest, JoinPutsOneSeparatorBetweenFolderAndName) {
#ifdef _WIN32
  EXPECT_EQ(JoinPath("e:\\Talvex", "etc"), "e:\\Talvex\\etc");
  EXPECT_EQ(JoinPath("e:\\", "Talvex"), "e:\\Talvex");
#else
  EXPECT_EQ(JoinPath("/media/usb", "Talvex"), "/media/usb/Talvex");
  EXPECT_EQ(JoinPath("/", "Talvex"), "/Talvex");
  EXPECT_EQ(JoinPath("/media/usb/", "Talvex"), "/media/usb/Talvex");
#endif
  EXPECT_EQ(JoinPath("", "x"), std::string(1, kPathSeparator) + "x");
}

TEST(PathHelpersTest, TrimmingKeepsTheSeparatorOfARoot) {
#ifdef _WIN32
  EXPECT_EQ(WithoutTrailingSeparators("c:\\kit\\\\"), "c:\\kit");
  EXPECT_EQ(WithoutTrailingSeparators("c:\\kit/"), "c:\\kit");
  EXPECT_EQ(WithoutTrailingSeparators("e:\\"), "e:\\");
  EXPECT_EQ(WithoutTrailingSeparators("e:\\\\"), "e:\\");
  EXPECT_EQ(WithoutTrailingSeparators("e:"), "e:");
#else
  EXPECT_EQ(WithoutTrailingSeparators("/media/usb//"), "/media/usb");
  EXPECT_EQ(WithoutTrailingSeparators("/"), "/");
  EXPECT_EQ(WithoutTrailingSeparators("///"), "/");
  EXPECT_EQ(WithoutTrailingSeparators("kit\\"), "kit\\") << "a backslash is a name's character";
#endif
  EXPECT_EQ(WithoutTrailingSeparators(""), "");
  EXPECT_EQ(WithoutTrailingSeparators("kit"), "kit");
}

}  // namespace
}  // namespace talvex::platform
