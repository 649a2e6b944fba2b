#include "platform/directory_chain.h"

#include <utility>

namespace talvex::platform {

DirectoryChain::DirectoryChain(Directory& root) : root_(root) {
  levels_.push_back(Level{{}, root.id(), nullptr});
}

FsStatus DirectoryChain::Descend(std::string_view name) {
  std::unique_ptr<Directory> opened;
  if (FsStatus status = top().OpenSubdirectory(name, opened); !status) return status;
  const FileId id = opened->id();
  levels_.push_back(Level{std::string(name), id, std::move(opened)});
  if (levels_.size() > kOpenLimit + 1) levels_[levels_.size() - kOpenLimit - 1].directory.reset();
  return {};
}

FsStatus DirectoryChain::Ascend() {
  Level leaving = std::move(levels_.back());
  levels_.pop_back();
  Level& parent = levels_.back();
  if (levels_.size() == 1 || parent.directory) return {};
  std::unique_ptr<Directory> reopened;
  if (FsStatus status = leaving.directory->OpenParent(reopened); !status) return status;
  if (!(reopened->id() == parent.id))
    return RefusalStatus(FsReason::kMovedDuringWork, reopened->path());
  parent.directory = std::move(reopened);
  return {};
}

}  // namespace talvex::platform
