#include "fsutil/beneath.h"

#include <utility>

namespace talvex::fsutil {
namespace {

// Calls `visit` with each level name of a payload constant, left to right.
template <typename Visit>
platform::FsStatus ForEachLevel(std::string_view relative, Visit visit) {
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('\\', start);
    if (end == std::string_view::npos) end = relative.size();
    if (end > start) {
      if (platform::FsStatus status = visit(relative.substr(start, end - start)); !status) {
        return status;
      }
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

SplitPath SplitRelative(std::string_view relative) {
  const std::size_t separator = relative.find_last_of('\\');
  if (separator == std::string_view::npos) return {{}, relative};
  return {relative.substr(0, separator), relative.substr(separator + 1)};
}

platform::FsStatus OpenBeneath(platform::Directory& root, std::string_view relative,
                               std::unique_ptr<platform::Directory>& opened) {
  platform::Directory* current = &root;
  std::unique_ptr<platform::Directory> held;
  platform::FsStatus status = ForEachLevel(relative, [&](std::string_view level) {
    std::unique_ptr<platform::Directory> next;
    platform::FsStatus descended = current->OpenSubdirectory(level, next);
    if (descended) {
      held = std::move(next);
      current = held.get();
    }
    return descended;
  });
  // The root itself is the caller's to use: it has no second handle to give.
  if (status && !held) return platform::NotADirectoryStatus(root.path());
  if (status) opened = std::move(held);
  return status;
}

platform::FsStatus MakeDirBeneath(platform::Directory& root, std::string_view relative) {
  platform::Directory* current = &root;
  std::unique_ptr<platform::Directory> held;
  return ForEachLevel(relative, [&](std::string_view level) {
    std::unique_ptr<platform::Directory> next;
    platform::FsStatus opened = current->OpenSubdirectory(level, next);
    if (!opened) {
      // Missing: create it. A link of that name is named as what it is.
      platform::FsStatus created = current->CreateDirectory(level);
      if (!created) return opened.reason == platform::kLinkRefused ? opened : created;
      if (platform::FsStatus reopened = current->OpenSubdirectory(level, next); !reopened) {
        return reopened;
      }
    }
    held = std::move(next);
    current = held.get();
    return platform::FsStatus{};
  });
}

}  // namespace talvex::fsutil
