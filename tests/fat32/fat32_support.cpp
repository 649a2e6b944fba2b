#include "fat32_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "program_runner.h"

namespace talvex::testing {

namespace {

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool IsDriveLetter(const std::string& path) {
  return path.size() == 2 && path[1] == ':';
}

constexpr std::string_view kFailedSteps = "Не выполнено шагов: ";

}  // namespace

std::string Fat32Volume() {
  return FromEnvironment("TALVEX_FAT32_TARGET");
}

std::string VolumeRoot(const std::string& volume) {
  return IsDriveLetter(volume) ? volume + "\\" : volume;
}

std::string BuildProgram() {
  return ProgramInBuildTree(TALVEX_BUILD_PROGRAM);
}

std::vector<std::string> BuildArguments(const std::string& kit, const std::string& target) {
  return {"--source", kit, "--target", target, "--any-drive"};
}

void ExpectKitBytes(const TreeBytes& built, const std::string& kit) {
  for (const auto& [path, bytes] : built) {
    if (path.ends_with('/')) continue;
    EXPECT_EQ(bytes, ReadBytes(Join(kit, path))) << path;
  }
}

std::size_t FailedStepCount(const std::string& report) {
  for (const std::string& line : OutputLines(report)) {
    if (line.starts_with(kFailedSteps)) {
      return static_cast<std::size_t>(
          std::strtoul(line.c_str() + kFailedSteps.size(), nullptr, 10));
    }
  }
  return 0;
}

std::vector<std::string> FailureLines(const std::string& report) {
  std::vector<std::string> named;
  bool in_failures = false;
  for (const std::string& line : OutputLines(report)) {
    if (line.starts_with(kFailedSteps)) {
      in_failures = true;
    } else if (in_failures) {
      if (line.empty() || line.starts_with("\u2026")) break;
      named.push_back(line);
    }
  }
  return named;
}

ReferenceDrive::ReferenceDrive() {
#ifdef _WIN32
  target_ = FromEnvironment("TALVEX_TEST_DRIVE");
  Empty();
#else
  target_ = folder_.path();
#endif
}

ReferenceDrive::~ReferenceDrive() {
  Empty();
}

void ReferenceDrive::Empty() const {
  if (!IsDriveLetter(target_)) return;  // a folder of its own goes with the folder
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(target_ + "\\", ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

}  // namespace talvex::testing
