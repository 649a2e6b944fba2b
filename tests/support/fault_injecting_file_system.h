// A file system that passes every call to another one, except the calls it has been told to
// fail. Tests use it to reach the failure paths that a privileged CI user never meets for real
// (read-only files, a drive that is not ready, a file held open elsewhere). It also keeps a
// journal of the mutating calls, so tests can check what was touched and in which order.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace talvex::platform {

// What the system says of a device that has gone (ERROR_DEV_NOT_EXIST on Windows): the code of a
// drive pulled or dying in a test.
#ifdef _WIN32
inline constexpr int kDeviceGone = 55;
#else
inline constexpr int kDeviceGone = ENODEV;
#endif

enum class FsOperation {
  kQueryAttributes,
  kListDirectory,
  kExists,
  kSetAttributes,
  kDeleteFile,
  kRemoveDirectory,
  kCreateDirectory,
  kFileLength,
  kWriteFile,
  kCopyFile,  // matched against the source and the target path
  kResolvePath,
  kIdentify,
  kOpenDirectory,  // a directory opened for work inside it, by path or below an open one
  kFlush,          // matched against the folder whose volume is flushed
  kRead,           // a file opened to be read back
  kRename,         // matched against the entry's path before and after
  kAny,
};

const char* FsOperationName(FsOperation operation);

class FaultInjectingFileSystem final : public FileSystem {
 public:
  explicit FaultInjectingFileSystem(FileSystem& inner) : inner_(inner) {}

  // Makes `operation` fail with `code` on exactly `path`.
  void FailOn(FsOperation operation, std::string path, int code, std::string message = {});
  // Makes `operation` fail with `code` on `prefix` and everything below it.
  void FailUnder(FsOperation operation, std::string prefix, int code, std::string message = {});
  // Makes `operation` fail with `code` on every entry named `name`, wherever it is: a build
  // makes new folders under temporary names and writes inside them, so a folder's path while it
  // is made is not the one it ends with.
  void FailOnName(FsOperation operation, std::string name, int code, std::string message = {});
  // Refuses every call that would change anything, anywhere: a guard for tests whose subject
  // must not touch the disk at all.
  void RefuseAllChanges(int code);
  // From the call number `calls` on (counting every call it checks, reads included), every call
  // at or below `drive` fails with `code`: a stick pulled at that moment.
  void PullAfterCalls(std::string drive, std::size_t calls, int code) {
    pulled_drive_ = std::move(drive);
    pull_after_ = calls;
    pull_code_ = code;
  }
  std::size_t calls() const { return calls_; }
  // Fails the change number `index` (from 0, in journal order) with `code`, and only that one.
  void FailChangeNumber(std::size_t index, int code);
  // Makes `alias` another name of the folder `real`: every path at or below `alias` is passed on
  // below `real`, and paths resolved there come back spelled below `alias`. This is how a
  // case-insensitive volume or a bind mount shows one folder under two names.
  // With kOwn, everything reached through the alias also reports an identity of its own, as a
  // FUSE FAT32 volume gives each spelling of a name its own inode number.
  enum class AliasIdentity { kShared, kOwn };
  void AddAlias(std::string alias, std::string real,
                AliasIdentity identity = AliasIdentity::kShared);

  // Damages every file written or copied at or below `prefix` right after the write reports
  // success, as a failing or counterfeit stick does: cut to half its length, or one byte
  // changed in its middle.
  enum class Damage { kTruncate, kFlipByte };
  void DamageWritesUnder(std::string prefix, Damage damage);
  // The same for every file named `name`, wherever it is written (a build writes new files
  // under temporary names or into new folders made under one).
  void DamageWritesNamed(std::string name, Damage damage);
  // Whether `path` is one of the second names given by AddAlias (used by the directory handles,
  // which reach an alias through its parent's handle).
  bool IsAlias(const std::string& path) const;

  // Used by the directory handles after a successful write.
  void DamageIfAsked(const std::string& path);

  // What the volumes report as room and file size limit, instead of what they really report.
  void PretendVolume(VolumeFacts facts) { pretended_volume_ = facts; }
  FsStatus VolumeOf(Directory& inner, VolumeFacts& facts) const {
    if (pretended_volume_) {
      facts = *pretended_volume_;
      return {};
    }
    return inner.Volume(facts);
  }

  // Tells `watcher` of every call it checks (each operation with its path), before the call:
  // how a test acts at a chosen moment of a build.
  void Watch(std::function<void(FsOperation, const std::string&)> watcher) {
    watcher_ = std::move(watcher);
  }

  struct JournalEntry {
    FsOperation operation;
    std::string path;
    std::string renamed_to = {};  // for a rename
  };
  // Every call that changes something (set attributes, delete, remove, create, write, copy),
  // whether it succeeded or was failed, in call order.
  const std::vector<JournalEntry>& journal() const { return journal_; }
  std::vector<std::string> JournalPaths(FsOperation operation) const;
  // The journal with every path as the renames made after it left it: a file written under a
  // temporary name, or into a folder made under one, shows the place it was renamed into.
  std::vector<JournalEntry> JournalAsRenamed() const;
  std::vector<std::string> JournalPathsAsRenamed(FsOperation operation) const;
  // The journal without the changes to entries whose name holds `marker`: what a test checks
  // when a refused build may have left (and taken away) its own token files and nothing else.
  std::vector<JournalEntry> JournalWithout(std::string_view marker) const;

  FsStatus QueryAttributes(const std::string& path, std::uint32_t& attributes) override;
  FsStatus ListDirectory(const std::string& path, std::uint32_t filter, const ListVisitor& visit,
                         ListDetail detail) override;
  FsStatus Exists(const std::string& path, bool& exists) override;
  FsStatus FileLength(const std::string& path, std::uint64_t& length) override;
  FsStatus ResolvePath(const std::string& path, std::string& resolved) override;
  FsStatus Identify(const std::string& path, FileId& id) override;
  FsStatus OpenDirectory(const std::string& path, std::unique_ptr<Directory>& opened) override;

  // Used by the directory handles it hands out.
  FsStatus Check(FsOperation operation, const std::string& path) const;
  FsStatus Record(FsOperation operation, const std::string& path, std::string renamed_to = {});

 private:
  struct Rule {
    FsOperation operation;
    std::string path;
    bool whole_subtree;
    int code;
    std::string message;
    bool by_name = false;  // `path` is an entry's name
  };

  const Rule* Match(FsOperation operation, const std::string& path) const;
  std::string Real(const std::string& path) const;
  // What identities reached through `path` are changed by (0: none).
  std::uint64_t IdentitySalt(const std::string& path) const;

  FileSystem& inner_;
  std::vector<Rule> rules_;
  int refuse_changes_code_ = 0;
  std::size_t fail_change_index_ = static_cast<std::size_t>(-1);
  int fail_change_code_ = 0;
  struct Alias {
    std::string alias;
    std::string real;
    std::uint64_t salt;  // 0 for a shared identity
  };
  std::vector<Alias> aliases_;
  std::vector<std::pair<std::string, Damage>> damages_;
  std::vector<std::pair<std::string, Damage>> damaged_names_;
  std::vector<JournalEntry> journal_;
  std::function<void(FsOperation, const std::string&)> watcher_;
  std::optional<VolumeFacts> pretended_volume_;
  mutable std::size_t calls_ = 0;
  std::size_t pull_after_ = static_cast<std::size_t>(-1);
  std::string pulled_drive_;
  int pull_code_ = 0;
};

}  // namespace talvex::platform
