// The platform's half of the command line: what names a drive, and where a folder ends.
#include "cli/target.h"

#include <cctype>

#include "platform/paths.h"

namespace talvex::cli {

bool IsExistingDirectory(platform::FileSystem& fs, const std::string& path) {
  std::uint32_t attributes = 0;
  if (!fs.QueryAttributes(path, attributes)) return false;
  if ((attributes & platform::kAttrReparsePoint) != 0) {
    std::string resolved;
    if (!fs.ResolvePath(path, resolved) || !fs.QueryAttributes(resolved, attributes)) {
      return false;
    }
  }
  return (attributes & platform::kAttrDirectory) != 0;
}

#ifdef _WIN32

const char* const kTargetHelp =
    "The drive to prepare: a drive letter with a colon (e:, E: and e:\\ mean the same)";

std::optional<build::Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                         std::string& refusal) {
  const bool shaped = (typed.size() == 2 || (typed.size() == 3 && typed[2] == '\\')) &&
                      std::isalpha(static_cast<unsigned char>(typed[0])) && typed[1] == ':';
  if (!shaped) {
    refusal = "--target \"" + typed + "\": expected a drive letter with a colon, such as e:";
    return std::nullopt;
  }
  // The drive list shows lower-case letters; the build uses the letter and the colon.
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(typed[0])));
  const std::string drive{letter, ':'};
  if (!IsExistingDirectory(fs, drive + "\\")) {
    refusal = "--target " + drive + ": no such drive, or it is not ready";
    return std::nullopt;
  }
  return build::Target{drive, std::string(1, letter)};
}

#else

const char* const kTargetHelp =
    "The folder that stands for the drive's root, such as its mount point (must exist)";

std::optional<build::Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                         std::string& refusal) {
  if (typed.empty() || !IsExistingDirectory(fs, typed)) {
    refusal = "--target \"" + typed + "\": no such directory";
    return std::nullopt;
  }
  // Payload paths are joined by plain concatenation: "/media/usb" + "/Talvex".
  return build::TargetOfFolder(platform::WithoutTrailingSeparators(typed));
}

#endif

}  // namespace talvex::cli
