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

}  // namespace talvex::testing
