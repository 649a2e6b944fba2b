#include "platform/paths.h"

namespace talvex::platform {

#ifdef _WIN32
const char kPathSeparator = '\\';
const bool kCaseInsensitiveNames = true;
#else
const char kPathSeparator = '/';
const bool kCaseInsensitiveNames = false;
#endif

std::string NativeRelative(std::string_view relative) {
  std::string native(relative);
  if (kPathSeparator != '\\') {
    for (char& c : native) {
      if (c == '\\') c = kPathSeparator;
    }
  }
  return native;
}

std::string JoinPayloadPath(std::string_view root, std::string_view relative) {
  std::string joined(root);
  // A POSIX drive root may be "/" itself; "//Talvex" would name the same folder, but paths are
  // compared and shown, so keep them clean.
  if (kPathSeparator != '\\' && !joined.empty() && joined.back() == kPathSeparator &&
      !relative.empty() && relative.front() == '\\') {
    joined.pop_back();
  }
  joined += NativeRelative(relative);
  return joined;
}

}  // namespace talvex::platform
