#include "platform/paths.h"

namespace talvex::platform {

#ifdef _WIN32
const char kPathSeparator = '\\';
const bool kCaseInsensitiveNames = true;
// Windows takes '/' for a separator too, so a typed folder may end in either.
constexpr char kAlternateSeparator = '/';
#else
const char kPathSeparator = '/';
const bool kCaseInsensitiveNames = false;
constexpr char kAlternateSeparator = '/';
#endif

namespace {

bool IsSeparator(char c) {
  return c == kPathSeparator || c == kAlternateSeparator;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += name;
  return path;
}

std::string WithoutTrailingSeparators(std::string folder) {
  // A root keeps its one separator: "/" alone, or the one after a drive's colon.
  while (folder.size() > 1 && IsSeparator(folder.back()) && folder[folder.size() - 2] != ':') {
    folder.pop_back();
  }
  return folder;
}

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
