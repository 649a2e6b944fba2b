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

TEST(PathHelpersTest, ParentFolderAndLastNameSplitAPath) {
  struct Case {
    const char* path;
    const char* parent;
    const char* name;
  };
#ifdef _WIN32
  const Case cases[] = {
      {"e:\\Talvex\\etc", "e:\\Talvex", "etc"},
      {"e:\\Talvex\\", "e:\\", "Talvex"},
      {"e:\\Talvex", "e:\\", "Talvex"},
      {"c:/kit/Talvex", "c:/kit", "Talvex"},
      {"e:\\", "", ""},
      {"e:", "", ""},
      {"name", "", "name"},
      {"", "", ""},
  };
#else
  const Case cases[] = {
      {"/media/usb/Talvex", "/media/usb", "Talvex"},
      {"/media/usb//", "/media", "usb"},
      {"/Talvex", "/", "Talvex"},
      {"/", "", ""},
      {"kit/a:", "kit", "a:"},
      {"name", "", "name"},
      {"", "", ""},
  };
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(ParentFolder(c.path), c.parent) << c.path;
    EXPECT_EQ(LastName(c.path), c.name) << c.path;
  }
}

}  // namespace
}  // namespace talvex::platform
