// Small helpers shared by the platform suites.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace talvex::testing {

// The names a listing yields with `filter`, in a set: listing order is the file system's own.
std::set<std::string> ListedNames(platform::FileSystem& fs, const std::string& folder,
                                  std::uint32_t filter);

// The test drive ("t:") named by TALVEX_TEST_DRIVE, or empty when the suite runs without one.
std::string TestDrive();

// Letter case folded where the platform ignores it, for comparing paths the system returned.
std::string ComparablePath(std::string path);

#ifdef _WIN32
// A drive letter of the test's own, given to one folder and then to another, as a letter passes
// to another stick when one is pulled and the next plugged in. It is taken away at the end.
class DriveLetter {
 public:
  DriveLetter();
  ~DriveLetter();
  DriveLetter(const DriveLetter&) = delete;
  DriveLetter& operator=(const DriveLetter&) = delete;

  // The letter's root ("q:\"), or empty when no letter is free.
  const std::string& root() const { return root_; }
  bool PointAt(const std::string& folder);

 private:
  wchar_t letter_ = 0;
  std::string root_;
  bool defined_ = false;
};
#endif

}  // namespace talvex::testing
