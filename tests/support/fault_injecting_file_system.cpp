#include "support/fault_injecting_file_system.h"

#include "platform/paths.h"

#include <filesystem>
#include <fstream>

namespace talvex::platform {

const char* FsOperationName(FsOperation operation) {
  switch (operation) {
    case FsOperation::kQueryAttributes:
      return "QueryAttributes";
    case FsOperation::kListDirectory:
      return "ListDirectory";
    case FsOperation::kExists:
      return "Exists";
    case FsOperation::kSetAttributes:
      return "SetAttributes";
    case FsOperation::kDeleteFile:
      return "DeleteFile";
    case FsOperation::kRemoveDirectory:
      return "RemoveDirectory";
    case FsOperation::kCreateDirectory:
      return "CreateDirectory";
    case FsOperation::kFileLength:
      return "FileLength";
    case FsOperation::kWriteFile:
      return "WriteFile";
    case FsOperation::kCopyFile:
      return "CopyFile";
    case FsOperation::kResolvePath:
      return "ResolvePath";
    case FsOperation::kIdentify:
      return "Identify";
    case FsOperation::kOpenDirectory:
      return "OpenDirectory";
    case FsOperation::kFlush:
      return "Flush";
    case FsOperation::kRead:
      return "Read";
    case FsOperation::kRename:
      return "Rename";
    case FsOperation::kAny:
      return "Any";
  }
  return "?";
}

void FaultInjectingFileSystem::FailOn(FsOperation operation, std::string path, int code,
                                      std::string message) {
  rules_.push_back({operation, std::move(path), false, code, std::move(message)});
}

void FaultInjectingFileSystem::FailUnder(FsOperation operation, std::string prefix, int code,
                                         std::string message) {
  rules_.push_back({operation, std::move(prefix), true, code, std::move(message)});
}

void FaultInjectingFileSystem::FailOnName(FsOperation operation, std::string name, int code,
                                          std::string message) {
  rules_.push_back({operation, std::move(name), false, code, std::move(message), true});
}

void FaultInjectingFileSystem::RefuseAllChanges(int code) {
  refuse_changes_code_ = code;
}

void FaultInjectingFileSystem::FailChangeNumber(std::size_t index, int code) {
  fail_change_index_ = index;
  fail_change_code_ = code;
}

void FaultInjectingFileSystem::AddAlias(std::string alias, std::string real,
                                        AliasIdentity identity) {
  // Any odd number will do: it only has to change every index it is mixed into.
  const std::uint64_t salt = identity == AliasIdentity::kOwn ? 0x5a17'0000'0000'0001 : 0;
  aliases_.push_back({std::move(alias), std::move(real), salt});
}

namespace {

bool IsAtOrBelow(const std::string& path, const std::string& folder) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == kPathSeparator ||
         (!folder.empty() && folder.back() == kPathSeparator);
}

FileId Salted(FileId id, std::uint64_t salt) {
  id.index ^= salt;
  return id;
}

// The same operations on the handles of the wrapped file system, each checked against the rules
// under the entry's path and journaled like the path-based calls.
class FaultInjectingDirectory final : public Directory {
 public:
  FaultInjectingDirectory(std::unique_ptr<Directory> inner, FaultInjectingFileSystem& owner,
                          std::uint64_t salt)
      : inner_(std::move(inner)), owner_(owner), salt_(salt) {}

  Directory& inner() { return *inner_; }
  const std::string& path() const override { return inner_->path(); }
  FileId id() const override { return Salted(inner_->id(), salt_); }
  std::uint64_t mount_id() const override { return inner_->mount_id(); }

  FsStatus List(const ListVisitor& visit, ListDetail detail) override {
    if (FsStatus failed = owner_.Check(FsOperation::kListDirectory, path()); !failed) return failed;
    return inner_->List(visit, detail);
  }
  FsStatus EntryAttributes(std::string_view name, std::uint32_t& attributes) override {
    if (FsStatus failed = owner_.Check(FsOperation::kQueryAttributes, JoinPath(path(), name));
        !failed) {
      return failed;
    }
    // A second name is a folder of its own in a listing too.
    if (const std::string joined = JoinPath(path(), name); owner_.IsAlias(joined)) {
      return owner_.QueryAttributes(joined, attributes);
    }
    return inner_->EntryAttributes(name, attributes);
  }
  FsStatus LockForBuild(bool& busy) override { return inner_->LockForBuild(busy); }
  FsStatus OpenSubdirectory(std::string_view name, std::unique_ptr<Directory>& opened) override {
    if (FsStatus failed = owner_.Check(FsOperation::kOpenDirectory, JoinPath(path(), name));
        !failed) {
      return failed;
    }
    if (const std::string joined = JoinPath(path(), name); owner_.IsAlias(joined)) {
      return owner_.OpenDirectory(joined, opened);
    }
    return Wrap(inner_->OpenSubdirectory(name, opened), opened);
  }
  FsStatus OpenParent(std::unique_ptr<Directory>& opened) override {
    return Wrap(inner_->OpenParent(opened), opened);
  }
  FsStatus SetAttributes(std::string_view name, std::uint32_t attributes) override {
    if (FsStatus failed = Change(FsOperation::kSetAttributes, name); !failed) return failed;
    return inner_->SetAttributes(name, attributes);
  }
  FsStatus DeleteFile(std::string_view name) override {
    if (FsStatus failed = Change(FsOperation::kDeleteFile, name); !failed) return failed;
    return inner_->DeleteFile(name);
  }
  FsStatus RemoveDirectory(std::string_view name) override {
    if (FsStatus failed = Change(FsOperation::kRemoveDirectory, name); !failed) return failed;
    return inner_->RemoveDirectory(name);
  }
  FsStatus CreateDirectory(std::string_view name) override {
    if (FsStatus failed = Change(FsOperation::kCreateDirectory, name); !failed) return failed;
    return inner_->CreateDirectory(name);
  }
  // Matched against the entry's name before and after, as a copy is against source and target.
  FsStatus Rename(std::string_view from, std::string_view to) override {
    if (FsStatus failed = owner_.Check(FsOperation::kRename, JoinPath(path(), to)); !failed) {
      owner_.Record(FsOperation::kRename, JoinPath(path(), from), JoinPath(path(), to));
      return failed;
    }
    if (FsStatus failed =
            owner_.Record(FsOperation::kRename, JoinPath(path(), from), JoinPath(path(), to));
        !failed) {
      return failed;
    }
    return inner_->Rename(from, to);
  }
  FsStatus SetModified(std::string_view name, FileTime time) override {
    if (FsStatus failed = Change(FsOperation::kSetAttributes, name); !failed) return failed;
    return inner_->SetModified(name, time);
  }
  FsStatus SyncVolume() override {
    if (FsStatus failed = owner_.Check(FsOperation::kFlush, path()); !failed) return failed;
    return inner_->SyncVolume();
  }
  FsStatus Volume(VolumeFacts& facts) override { return owner_.VolumeOf(*inner_, facts); }
  FsStatus CopyFileIn(std::string_view name, Directory& source, std::string_view source_name,
                      const ByteProgress& progress) override {
    if (FsStatus failed = Change(FsOperation::kCopyFile, name); !failed) return failed;
    if (FsStatus failed =
            owner_.Check(FsOperation::kCopyFile, JoinPath(source.path(), source_name));
        !failed) {
      return failed;
    }
    auto* wrapped = dynamic_cast<FaultInjectingDirectory*>(&source);
    return Damaged(inner_->CopyFileIn(name, wrapped != nullptr ? wrapped->inner() : source,
                                      source_name, progress),
                   name);
  }
  FsStatus WriteFileIn(std::string_view name, std::string_view bytes) override {
    if (FsStatus failed = Change(FsOperation::kWriteFile, name); !failed) return failed;
    return Damaged(inner_->WriteFileIn(name, bytes), name);
  }
  FsStatus OpenForReading(std::string_view name, bool from_device,
                          std::unique_ptr<FileReader>& reader) override {
    if (FsStatus failed = owner_.Check(FsOperation::kRead, JoinPath(path(), name)); !failed) {
      return failed;
    }
    return inner_->OpenForReading(name, from_device, reader);
  }
  bool ReadAhead(std::string_view name) override { return inner_->ReadAhead(name); }
  FsStatus ReplaceFile(std::string_view name, std::string_view bytes) override {
    if (FsStatus failed = Change(FsOperation::kWriteFile, name); !failed) return failed;
    return inner_->ReplaceFile(name, bytes);
  }

 private:
  FsStatus Damaged(FsStatus written, std::string_view name) {
    if (written) owner_.DamageIfAsked(JoinPath(path(), name));
    return written;
  }
  FsStatus Change(FsOperation operation, std::string_view name) {
    return owner_.Record(operation, JoinPath(path(), name));
  }
  FsStatus Wrap(FsStatus status, std::unique_ptr<Directory>& opened) {
    if (status)
      opened = std::make_unique<FaultInjectingDirectory>(std::move(opened), owner_, salt_);
    return status;
  }

  std::unique_ptr<Directory> inner_;
  FaultInjectingFileSystem& owner_;
  std::uint64_t salt_;
};

}  // namespace

void FaultInjectingFileSystem::DamageWritesUnder(std::string prefix, Damage damage) {
  damages_.emplace_back(std::move(prefix), damage);
}

void FaultInjectingFileSystem::DamageWritesNamed(std::string name, Damage damage) {
  damaged_names_.emplace_back(std::move(name), damage);
}

void FaultInjectingFileSystem::DamageIfAsked(const std::string& path) {
  std::vector<std::pair<std::string, Damage>> asked = damages_;
  for (const auto& [name, damage] : damaged_names_) {
    if (LastName(path) == name) asked.emplace_back(path, damage);
  }
  for (const auto& [prefix, damage] : asked) {
    if (!IsAtOrBelow(path, prefix)) continue;
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size == 0) return;
    if (damage == Damage::kTruncate) {
      std::filesystem::resize_file(file, size / 2, error);
      return;
    }
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(size / 2));
    const char byte = static_cast<char>(stream.get() ^ 0x20);
    stream.seekp(static_cast<std::streamoff>(size / 2));
    stream.put(byte);
    return;
  }
}

std::string FaultInjectingFileSystem::Real(const std::string& path) const {
  for (const Alias& each : aliases_) {
    if (IsAtOrBelow(path, each.alias)) return each.real + path.substr(each.alias.size());
  }
  return path;
}

bool FaultInjectingFileSystem::IsAlias(const std::string& path) const {
  for (const Alias& each : aliases_) {
    if (path == each.alias) return true;
  }
  return false;
}

std::uint64_t FaultInjectingFileSystem::IdentitySalt(const std::string& path) const {
  for (const Alias& each : aliases_) {
    if (IsAtOrBelow(path, each.alias)) return each.salt;
  }
  return 0;
}

std::vector<FaultInjectingFileSystem::JournalEntry> FaultInjectingFileSystem::JournalWithout(
    std::string_view marker) const {
  std::vector<JournalEntry> kept;
  for (const JournalEntry& entry : journal_) {
    if (LastName(entry.path).find(marker) == std::string::npos) kept.push_back(entry);
  }
  return kept;
}

std::vector<FaultInjectingFileSystem::JournalEntry> FaultInjectingFileSystem::JournalAsRenamed()
    const {
  std::vector<JournalEntry> renamed = journal_;
  for (std::size_t at = 0; at < journal_.size(); ++at) {
    if (journal_[at].operation != FsOperation::kRename) continue;
    const std::string& from = journal_[at].path;
    for (std::size_t before = 0; before < at; ++before) {
      std::string& path = renamed[before].path;
      if (IsAtOrBelow(path, from)) path = journal_[at].renamed_to + path.substr(from.size());
    }
  }
  return renamed;
}

std::vector<std::string> FaultInjectingFileSystem::JournalPathsAsRenamed(
    FsOperation operation) const {
  std::vector<std::string> paths;
  for (const JournalEntry& entry : JournalAsRenamed()) {
    if (entry.operation == operation) paths.push_back(entry.path);
  }
  return paths;
}

std::vector<std::string> FaultInjectingFileSystem::JournalPaths(FsOperation operation) const {
  std::vector<std::string> paths;
  for (const JournalEntry& entry : journal_) {
    if (entry.operation == operation) paths.push_back(entry.path);
  }
  return paths;
}

const FaultInjectingFileSystem::Rule* FaultInjectingFileSystem::Match(
    FsOperation operation, const std::string& path) const {
  for (const Rule& rule : rules_) {
    if (rule.operation != operation && rule.operation != FsOperation::kAny) continue;
    if (rule.by_name) {
      if (LastName(path) == rule.path) return &rule;
      continue;
    }
    if (path == rule.path) return &rule;
    if (rule.whole_subtree && path.size() > rule.path.size() &&
        path.compare(0, rule.path.size(), rule.path) == 0 &&
        (path[rule.path.size()] == kPathSeparator || rule.path.back() == kPathSeparator)) {
      return &rule;
    }
  }
  return nullptr;
}

FsStatus FaultInjectingFileSystem::Check(FsOperation operation, const std::string& path) const {
  if (watcher_) watcher_(operation, path);
  if (calls_++ >= pull_after_ && IsAtOrBelow(path, pulled_drive_)) {
    return FsStatus{pull_code_, "the stick was pulled", path};
  }
  if (const Rule* rule = Match(operation, path)) {
    return FsStatus{rule->code, rule->message.empty() ? "injected failure" : rule->message, path};
  }
  return {};
}

FsStatus FaultInjectingFileSystem::Record(FsOperation operation, const std::string& path,
                                          std::string renamed_to) {
  journal_.push_back({operation, path, std::move(renamed_to)});
  if (refuse_changes_code_ != 0) {
    return FsStatus{refuse_changes_code_, "changes refused by the test", path};
  }
  if (journal_.size() - 1 == fail_change_index_) {
    return FsStatus{fail_change_code_, "injected failure", path};
  }
  return Check(operation, path);
}

FsStatus FaultInjectingFileSystem::QueryAttributes(const std::string& path,
                                                   std::uint32_t& attributes) {
  if (FsStatus failed = Check(FsOperation::kQueryAttributes, path); !failed) return failed;
  return inner_.QueryAttributes(Real(path), attributes);
}

FsStatus FaultInjectingFileSystem::ListDirectory(const std::string& path, std::uint32_t filter,
                                                 const ListVisitor& visit, ListDetail detail) {
  if (FsStatus failed = Check(FsOperation::kListDirectory, path); !failed) return failed;
  return inner_.ListDirectory(Real(path), filter, visit, detail);
}

FsStatus FaultInjectingFileSystem::Exists(const std::string& path, bool& exists) {
  if (FsStatus failed = Check(FsOperation::kExists, path); !failed) return failed;
  return inner_.Exists(Real(path), exists);
}

FsStatus FaultInjectingFileSystem::FileLength(const std::string& path, std::uint64_t& length) {
  if (FsStatus failed = Check(FsOperation::kFileLength, path); !failed) return failed;
  return inner_.FileLength(Real(path), length);
}

FsStatus FaultInjectingFileSystem::ResolvePath(const std::string& path, std::string& resolved) {
  if (FsStatus failed = Check(FsOperation::kResolvePath, path); !failed) return failed;
  const std::string real = Real(path);
  if (real == path) return inner_.ResolvePath(path, resolved);
  // Resolved below the real folder, spelled below the alias: what a second name shows.
  for (const Alias& each : aliases_) {
    const std::string& alias = each.alias;
    const std::string& real_folder = each.real;
    if (!IsAtOrBelow(path, alias)) continue;
    std::string resolved_folder;
    if (FsStatus status = inner_.ResolvePath(real_folder, resolved_folder); !status) return status;
    if (FsStatus status = inner_.ResolvePath(real, resolved); !status) return status;
    if (IsAtOrBelow(resolved, resolved_folder)) {
      resolved = alias + resolved.substr(resolved_folder.size());
    }
    return {};
  }
  return inner_.ResolvePath(real, resolved);
}

FsStatus FaultInjectingFileSystem::Identify(const std::string& path, FileId& id) {
  if (FsStatus failed = Check(FsOperation::kIdentify, path); !failed) return failed;
  FsStatus status = inner_.Identify(Real(path), id);
  id = Salted(id, IdentitySalt(path));
  return status;
}

FsStatus FaultInjectingFileSystem::OpenDirectory(const std::string& path,
                                                 std::unique_ptr<Directory>& opened) {
  if (FsStatus failed = Check(FsOperation::kOpenDirectory, path); !failed) return failed;
  FsStatus status = inner_.OpenDirectory(Real(path), opened);
  if (status) {
    opened =
        std::make_unique<FaultInjectingDirectory>(std::move(opened), *this, IdentitySalt(path));
  }
  return status;
}

}  // namespace talvex::platform
