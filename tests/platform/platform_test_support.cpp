#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "platform/paths.h"

namespace talvex::testing {

std::set<std::string> ListedNames(platform::FileSystem& fs, const std::string& folder,
                                  std::uint32_t filter) {
  std::set<std::string> names;
  platform::FsStatus listed = fs.ListDirectory(folder, filter, [&](const platform::DirEntry& e) {
    EXPECT_TRUE(names.emplace(e.name).second) << "listed twice: " << e.name;
    return true;
  });
  EXPECT_TRUE(listed.ok()) << listed.message << " " << listed.path;
  return names;
}

std::string TestDrive() {
  const char* drive = std::getenv("TALVEX_TEST_DRIVE");
  return drive != nullptr ? std::string(drive) : std::string();
}

std::string ComparablePath(std::string path) {
  if (platform::kCaseInsensitiveNames) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return path;
}

}  // namespace talvex::testing
