#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fsutil/tree.h"
#include "platform/directory_chain.h"

namespace talvex::fsutil {
namespace {

using platform::Directory;
using platform::DirectoryChain;
using platform::DirEntry;
using platform::FileId;
using platform::FsStatus;

std::int32_t PositiveCode(const FsStatus& status) {
  return status.code > 0 ? status.code : 1;
}

DelTreeOutcome Failed(FsStatus status) {
  return DelTreeOutcome{PositiveCode(status), std::move(status)};
}

// A link is removed as what it is, never entered: a directory link (Windows junction or
// directory symlink) goes as an empty directory, any other as a file.
FsStatus RemoveLinkEntry(Directory& folder, std::string_view name, std::uint32_t attributes) {
  if ((attributes & platform::kAttrDirectory) != 0) return folder.RemoveDirectory(name);
  return folder.DeleteFile(name);
}

// One directory being removed: the names of the subdirectories its listing met, consumed in
// listing order once the listing has ended.
struct Level {
  std::vector<std::string> subdirectories;
  std::size_t next = 0;
};

struct ClearOutcome {
  FsStatus listing;  // the listing of the directory itself failed
  FsStatus entry;    // an entry inside could not be removed
};

// Deletes the files (and links) of the top directory while its listing runs and queues its
// subdirectories, stopping at the first entry that cannot be removed.
ClearOutcome ClearFiles(Directory& folder, Level& level) {
  FsStatus failure;
  FsStatus listed = folder.List(
      [&](const DirEntry& entry) {
        if (entry.IsLink()) {
          failure = RemoveLinkEntry(folder, entry.name, entry.attributes);
        } else if (entry.IsDirectory()) {
          level.subdirectories.emplace_back(entry.name);
          return true;
        } else {
          if ((entry.attributes & ~platform::kAttrDevice) != platform::kAttrNormal) {
            failure = folder.SetAttributes(entry.name, 0);
          }
          if (failure) failure = folder.DeleteFile(entry.name);
        }
        return failure.ok();
      },
      // Only the attributes that could refuse the delete are needed, and those come with the
      // plain listing everywhere.
      platform::ListDetail::kTypes);
  return ClearOutcome{std::move(listed), std::move(failure)};
}

bool IsProtected(const FileId& id, const std::vector<FileId>& protect) {
  return std::find(protect.begin(), protect.end(), id) != protect.end();
}

}  // namespace

DelTreeOutcome DelTreeBelow(Directory& parent, std::string_view name,
                            const std::vector<FileId>& protect) {
  std::uint32_t attributes = 0;
  if (!parent.EntryAttributes(name, attributes)) return {};  // nothing there to remove
  if ((attributes & platform::kAttrReparsePoint) != 0) {
    FsStatus removed = RemoveLinkEntry(parent, name, attributes);
    return removed ? DelTreeOutcome{kDelTreeRemoved, {}} : Failed(removed);
  }
  if ((attributes & platform::kAttrDirectory) == 0) return {};

  DirectoryChain chain(parent);
  if (FsStatus opened = chain.Descend(name); !opened) return Failed(opened);
  if (IsProtected(chain.top().id(), protect)) {
    return Failed(platform::RefusalStatus(platform::FsReason::kKitInside, chain.top().path()));
  }
  const std::uint64_t mount = chain.top().mount_id();
  // The folder itself may be where something is mounted: that tree is not ours to remove.
  if (mount != parent.mount_id()) {
    return Failed(platform::RefusalStatus(platform::FsReason::kOtherMount, chain.top().path()));
  }

  // Depth first with an explicit stack of levels instead of recursion, so that no tree is deep
  // enough to exhaust the call stack. The order of removal is that of the recursive walk: a
  // directory's files, then each subdirectory fully, then the directory itself.
  std::vector<Level> stack(1);
  bool entering = true;
  while (!stack.empty()) {
    Level& level = stack.back();
    if (entering) {
      ClearOutcome cleared = ClearFiles(chain.top(), level);
      if (!cleared.entry) return Failed(std::move(cleared.entry));
      if (!cleared.listing) {
        // Whatever the listing did not reach stays, but an empty directory can still go. The
        // result is never 0, since the listing failed.
        const std::string leaving = chain.top_name();
        if (FsStatus up = chain.Ascend(); !up) return Failed(std::move(up));
        FsStatus removed = chain.top().RemoveDirectory(leaving);
        return Failed(removed ? std::move(cleared.listing) : std::move(removed));
      }
    }
    if (level.next < level.subdirectories.size()) {
      const std::string& child = level.subdirectories[level.next++];
      if (FsStatus opened = chain.Descend(child); !opened) return Failed(std::move(opened));
      if (IsProtected(chain.top().id(), protect)) {
        return Failed(platform::RefusalStatus(platform::FsReason::kKitInside, chain.top().path()));
      }
      // A mount inside, of the same file system too (a bind mount), shows another tree there,
      // which is not the payload's to remove.
      if (chain.top().mount_id() != mount) {
        return Failed(platform::RefusalStatus(platform::FsReason::kOtherMount, chain.top().path()));
      }
      stack.emplace_back();
      entering = true;
      continue;
    }
    const std::string leaving = chain.top_name();
    if (FsStatus up = chain.Ascend(); !up) return Failed(std::move(up));
    if (FsStatus removed = chain.top().RemoveDirectory(leaving); !removed) return Failed(removed);
    stack.pop_back();
    entering = false;
  }
  return DelTreeOutcome{kDelTreeRemoved, {}};
}

}  // namespace talvex::fsutil
