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
  joined += NativeRelative(relative);
  return joined;
}

}  // namespace talvex::platform
