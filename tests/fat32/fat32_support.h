// What the FAT32 cases share: the volume fat32_case.sh mounted for the case, a drive of the
// ordinary disk to build the same thing onto for comparison, and whole trees with their bytes.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace talvex::testing {

inline constexpr std::string_view kNoVolume =
    "TALVEX_FAT32_TARGET names no FAT32 volume: the case runs through fat32_case.sh, which "
    "mounts a fresh image for it";
inline constexpr std::string_view kNoReferenceDrive =
    "TALVEX_TEST_DRIVE names no drive to build the reference onto";

// The volume of this case: its mount point natively, its drive letter ("x:") under Wine; empty
// when the case runs without fat32_case.sh.
std::string Fat32Volume();
// The folder to list for the whole volume ("x:\" for a drive letter).
std::string VolumeRoot(const std::string& volume);

// talvex-build as the build made it, in the form this platform starts it.
std::string BuildProgram();
// Its arguments for a build from `kit` onto `target`. A FUSE volume has no block device behind
// it, and the reference is a plain folder: neither is a removable drive to the program.
std::vector<std::string> BuildArguments(const std::string& kit, const std::string& target);

// Every file of `built` holds exactly the bytes of the kit's file at the same relative path.
void ExpectKitBytes(const TreeBytes& built, const std::string& kit);

// The number the report gives in "Не выполнено шагов: N" (0 when it names no failure), and the
// lines that name one failed step each.
std::size_t FailedStepCount(const std::string& report);
std::vector<std::string> FailureLines(const std::string& report);

// Where the same build goes on the ordinary disk: a folder of its own natively; under Wine the
// test drive the test script maps (TALVEX_TEST_DRIVE), emptied before and after.
class ReferenceDrive {
 public:
  ReferenceDrive();
  ~ReferenceDrive();
  ReferenceDrive(const ReferenceDrive&) = delete;
  ReferenceDrive& operator=(const ReferenceDrive&) = delete;

  bool ready() const { return !target_.empty(); }
  const std::string& target() const { return target_; }  // as --target takes it
  std::string root() const { return VolumeRoot(target_); }

 private:
  void Empty() const;

  TempDir folder_;
  std::string target_;
};

}  // namespace talvex::testing
