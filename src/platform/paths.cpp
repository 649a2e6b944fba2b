#include "platform/paths.h"

#include <algorithm>

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

// The colon that ends a drive's name ("e:"); on POSIX a colon is a name's character.
bool EndsInDrive(std::string_view path) {
  return kPathSeparator == '\\' && !path.empty() && path.back() == ':';
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

namespace {

// Where the last level of `path` begins, once separators at its end are set aside; npos when the
// whole is one name, and `trimmed` is 0 for a root.
std::size_t LastLevel(std::string_view path, std::size_t& trimmed) {
  const std::string kept = WithoutTrailingSeparators(std::string(path));
  trimmed = kept.size();
  if (trimmed > 0 && (IsSeparator(kept.back()) || EndsInDrive(kept))) trimmed = 0;  // a root
  for (std::size_t at = trimmed; at > 0; --at) {
    if (IsSeparator(kept[at - 1])) return at - 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string ParentFolder(std::string_view path) {
  std::size_t trimmed = 0;
  const std::size_t separator = LastLevel(path, trimmed);
  if (trimmed == 0 || separator == std::string_view::npos) return {};
  std::string parent(path.substr(0, separator));
  if (parent.empty() || EndsInDrive(parent)) parent += kPathSeparator;
  return parent;
}

std::string LastName(std::string_view path) {
  std::size_t trimmed = 0;
  const std::size_t separator = LastLevel(path, trimmed);
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  return std::string(path.substr(start, trimmed - std::min(trimmed, start)));
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
