// --target on Windows: a drive letter with a colon.
#include <cctype>
#include <string>

#include "cli/target.h"
#include "platform/drives.h"

namespace talvex::cli {

const char* const kTargetHelp =
    "The drive to prepare: a removable drive's letter with a colon (e:, E: and e:\\ mean the "
    "same; any drive with --any-drive)";

std::optional<build::Target> CheckTarget(platform::FileSystem& fs, const std::string& typed,
                                         bool any_drive, std::string& refusal) {
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
  if (!any_drive && !platform::DescribeDrive(drive).removable) {
    refusal = NotRemovableRefusal(drive);
    return std::nullopt;
  }
  return build::TargetOfDriveEntry(drive);
}

}  // namespace talvex::cli
