// The recursive folder copy, written once on top of the directory handles so that every
// platform (and the fault-injecting wrapper of the tests) copies the same way.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/directory_chain.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace talvex::platform {
namespace {

struct PendingEntry {
  std::string name;
  std::uint32_t attributes;
};

// One folder of the walk: what its listing held, and which subdirectory comes next.
struct CopyLevel {
  std::vector<std::string> subdirectories;
  std::size_t next = 0;
};

// Makes the subdirectory unless one is there already (a merge keeps existing folders); a link
// of that name is refused when the walk tries to open it.
FsStatus EnsureSubdirectory(Directory& target, const std::string& name) {
  FsStatus created = target.CreateDirectory(name);
  if (created) return created;
  std::unique_ptr<Directory> existing;
  if (target.OpenSubdirectory(name, existing)) return {};
  return created;
}

// Hears every failure of the walk, keeps the first for the caller without a listener, and goes
// on: one file the stick refuses must not cost the rest of the folder.
class FailureSink {
 public:
  explicit FailureSink(CopyListener* listener) : listener_(listener) {}
  void Failed(FsStatus failure, CopiedEntry entry = CopiedEntry::kFolder) {
    if (listener_ != nullptr) listener_->Failed(failure, entry);
    if (first_.ok()) first_ = std::move(failure);
  }
  FsStatus first() const { return first_; }

 private:
  CopyListener* listener_;
  FsStatus first_;
};

// Copies the files of the top source folder into the top target folder and lists the
// subdirectories the walk goes into next. Whatever cannot be copied is named and passed over.
void CopyFiles(Directory& source, Directory& target, CopyLevel& level, const std::string& relative,
               CopyListener* listener, FailureSink& failures) {
  std::vector<PendingEntry> entries;
  if (FsStatus listed = source.List(
          [&](const DirEntry& entry) {
            entries.push_back({std::string(entry.name), entry.attributes});
            return true;
          },
          ListDetail::kTypes);
      !listed) {
    failures.Failed(std::move(listed));
    return;
  }
  for (const PendingEntry& entry : entries) {
    const DirEntry view{entry.name, entry.attributes, 0};
    if (view.IsLink() || view.IsSpecial()) {
      failures.Failed(RefusalStatus(view.IsLink() ? kLinkRefused : kSpecialFileRefused,
                                    JoinPath(source.path(), entry.name)),
                      CopiedEntry::kFile);
      continue;
    }
    if (view.IsDirectory()) {
      if (FsStatus made = EnsureSubdirectory(target, entry.name); !made) {
        failures.Failed(std::move(made));
      } else {
        level.subdirectories.push_back(entry.name);
      }
      continue;
    }
    const std::string inside = relative + "\\" + entry.name;
    if (listener != nullptr && !listener->MayCopy(inside)) continue;
    ByteProgress moved;
    if (listener != nullptr) {
      moved = [listener](std::uint64_t bytes) {
        listener->Moved(bytes);
        return true;
      };
    }
    if (FsStatus status = target.CopyFileIn(entry.name, source, entry.name, moved); !status) {
      failures.Failed(std::move(status), CopiedEntry::kFile);
      continue;
    }
    if (listener != nullptr) listener->Copied(inside);
  }
}

}  // namespace

FsStatus CopyTree(Directory& source_root, Directory& target_root, CopyListener* listener) {
  // The two walks move in step, depth first; each keeps only the handles near its current folder
  // open, so the depth of the tree is not limited by the handle limit.
  DirectoryChain source(source_root);
  DirectoryChain target(target_root);
  FailureSink failures(listener);
  std::vector<CopyLevel> levels(1);
  std::string relative;  // of the current folder below the roots, backslash form
  CopyFiles(source.top(), target.top(), levels.back(), relative, listener, failures);
  while (!levels.empty()) {
    CopyLevel& level = levels.back();
    if (level.next < level.subdirectories.size()) {
      const std::string name = level.subdirectories[level.next++];
      if (FsStatus opened = source.Descend(name); !opened) {
        failures.Failed(std::move(opened));
        continue;
      }
      if (FsStatus opened = target.Descend(name); !opened) {
        failures.Failed(std::move(opened));
        // The source went down alone: it comes back up, or the walks are out of step for good.
        if (FsStatus up = source.Ascend(); !up) {
          failures.Failed(std::move(up));
          break;
        }
        continue;
      }
      levels.emplace_back();
      relative += "\\" + name;
      CopyFiles(source.top(), target.top(), levels.back(), relative, listener, failures);
      continue;
    }
    levels.pop_back();
    if (levels.empty()) break;
    relative.erase(relative.find_last_of('\\'));
    FsStatus up = source.Ascend();
    if (up) up = target.Ascend();
    if (!up) {
      failures.Failed(std::move(up));
      break;
    }
  }
  return failures.first();
}

}  // namespace talvex::platform
