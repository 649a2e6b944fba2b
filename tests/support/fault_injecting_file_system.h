// A file system that passes every call to another one, except the calls it has been told to
// fail. Tests use it to reach the failure paths that a privileged CI user never meets for real
// (read-only files, a drive that is not ready, a file held open elsewhere). It also keeps a
// journal of the mutating calls, so tests can check what was touched and in which order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace talvex::platform {

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
  // Refuses every call that would change anything, anywhere: a guard for tests whose subject
  // must not touch the disk at all.
  void RefuseAllChanges(int code);

  struct JournalEntry {
    FsOperation operation;
    std::string path;
  };
  // Every call that changes something (set attributes, delete, remove, create, write, copy),
  // whether it succeeded or was failed, in call order.
  const std::vector<JournalEntry>& journal() const { return journal_; }
  std::vector<std::string> JournalPaths(FsOperation operation) const;

  FsStatus QueryAttributes(const std::string& path, std::uint32_t& attributes) override;
  FsStatus ListDirectory(const std::string& path, std::uint32_t filter, const ListVisitor& visit,
                         ListDetail detail) override;
  FsStatus Exists(const std::string& path, bool& exists) override;
  FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) override;
  FsStatus DeleteFile(const std::string& path) override;
  FsStatus RemoveDirectory(const std::string& path) override;
  FsStatus CreateDirectory(const std::string& path) override;
  FsStatus FileLength(const std::string& path, std::uint64_t& length) override;
  FsStatus WriteFile(const std::string& path, std::string_view bytes) override;
  FsStatus CopyFile(const std::string& source, const std::string& target) override;
  FsStatus ResolvePath(const std::string& path, std::string& resolved) override;

 private:
  struct Rule {
    FsOperation operation;
    std::string path;
    bool whole_subtree;
    int code;
    std::string message;
  };

  const Rule* Match(FsOperation operation, const std::string& path) const;
  FsStatus Check(FsOperation operation, const std::string& path) const;
  FsStatus Record(FsOperation operation, const std::string& path);

  FileSystem& inner_;
  std::vector<Rule> rules_;
  int refuse_changes_code_ = 0;
  std::vector<JournalEntry> journal_;
};

}  // namespace talvex::platform
