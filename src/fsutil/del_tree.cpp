#include <string>
#include <vector>

#include "fsutil/tree.h"
#include "platform/paths.h"

namespace talvex::fsutil {
namespace {

using platform::DirEntry;
using platform::FileSystem;
using platform::FsStatus;
using platform::kPathSeparator;

std::int32_t PositiveCode(const FsStatus& status) {
  return status.code > 0 ? status.code : 1;
}

DelTreeOutcome Failed(FsStatus status) {
  return DelTreeOutcome{PositiveCode(status), std::move(status)};
}

std::string TrimSpaces(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// A link is removed as what it is, never entered: a directory link (Windows junction or
// directory symlink) goes as an empty directory, any other as a file.
FsStatus RemoveLink(FileSystem& fs, const std::string& path, std::uint32_t attributes) {
  if ((attributes & platform::kAttrDirectory) != 0) return fs.RemoveDirectory(path);
  return fs.DeleteFile(path);
}

// One directory being removed: its path and the names of the subdirectories its listing met,
// consumed in listing order once the listing has ended.
struct Level {
  std::string path;
  std::vector<std::string> subdirectories;
  std::size_t next = 0;
};

struct ClearOutcome {
  FsStatus listing;  // the listing of the directory itself failed
  FsStatus entry;    // an entry inside could not be removed
};

// Deletes the files (and links) of one directory while its listing runs and queues its
// subdirectories, stopping at the first entry that cannot be removed.
ClearOutcome ClearFiles(FileSystem& fs, Level& level) {
  FsStatus failure;
  std::string child = level.path + kPathSeparator;
  const std::size_t base = child.size();
  FsStatus listed = fs.ListDirectory(
      level.path, platform::kListEverything,
      [&](const DirEntry& entry) {
        child.resize(base);
        child += entry.name;
        if (entry.IsLink()) {
          failure = RemoveLink(fs, child, entry.attributes);
        } else if (entry.IsDirectory()) {
          level.subdirectories.emplace_back(entry.name);
          return true;
        } else {
          if (entry.attributes != platform::kAttrNormal) failure = fs.SetAttributes(child, 0);
          if (failure) failure = fs.DeleteFile(child);
        }
        return failure.ok();
      },
      // Only the attributes that could refuse the delete are needed, and those come with the
      // plain listing everywhere.
      platform::ListDetail::kTypes);
  return ClearOutcome{std::move(listed), std::move(failure)};
}

}  // namespace

DelTreeOutcome DelTreeWithFailure(FileSystem& fs, std::string strDir) {
  strDir = TrimSpaces(strDir);
  if (strDir.empty()) return {};
  if (strDir.back() == kPathSeparator) strDir.pop_back();
  if (strDir.find(kPathSeparator) == std::string::npos) return {};
  std::uint32_t attributes = 0;
  if (!fs.QueryAttributes(strDir, attributes)) return {};
  if ((attributes & platform::kAttrReparsePoint) != 0) {
    FsStatus removed = RemoveLink(fs, strDir, attributes);
    return removed ? DelTreeOutcome{kDelTreeRemoved, {}} : Failed(removed);
  }
  if ((attributes & platform::kAttrDirectory) == 0) return {};

  // Depth first with an explicit stack of levels instead of recursion, so that no tree is deep
  // enough to exhaust the call stack. The order of removal is that of the recursive walk: a
  // directory's files, then each subdirectory fully, then the directory itself.
  std::vector<Level> stack;
  stack.push_back(Level{std::move(strDir), {}, 0});
  bool entering = true;
  while (!stack.empty()) {
    Level& level = stack.back();
    if (entering) {
      ClearOutcome cleared = ClearFiles(fs, level);
      if (!cleared.entry) return Failed(std::move(cleared.entry));
      if (!cleared.listing) {
        // Whatever the listing did not reach stays, but an empty directory can still go. The
        // result is never 0, since the listing failed.
        FsStatus removed = fs.RemoveDirectory(level.path);
        return Failed(removed ? std::move(cleared.listing) : std::move(removed));
      }
    }
    if (level.next < level.subdirectories.size()) {
      std::string child = level.path + kPathSeparator + level.subdirectories[level.next++];
      stack.push_back(Level{std::move(child), {}, 0});
      entering = true;
      continue;
    }
    if (FsStatus removed = fs.RemoveDirectory(level.path); !removed) return Failed(removed);
    stack.pop_back();
    entering = false;
  }
  return DelTreeOutcome{kDelTreeRemoved, {}};
}

std::int32_t DelTree(FileSystem& fs, std::string strDir) {
  return DelTreeWithFailure(fs, std::move(strDir)).result;
}

}  // namespace talvex::fsutil
