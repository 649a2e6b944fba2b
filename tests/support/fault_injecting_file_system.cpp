#include "support/fault_injecting_file_system.h"

#include "platform/paths.h"

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

void FaultInjectingFileSystem::RefuseAllChanges(int code) {
  refuse_changes_code_ = code;
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
  if (const Rule* rule = Match(operation, path)) {
    return FsStatus{rule->code, rule->message.empty() ? "injected failure" : rule->message, path};
  }
  return {};
}

FsStatus FaultInjectingFileSystem::Record(FsOperation operation, const std::string& path) {
  journal_.push_back({operation, path});
  if (refuse_changes_code_ != 0) {
    return FsStatus{refuse_changes_code_, "changes refused by the test", path};
  }
  return Check(operation, path);
}

FsStatus FaultInjectingFileSystem::QueryAttributes(const std::string& path,
                                                   std::uint32_t& attributes) {
  if (FsStatus failed = Check(FsOperation::kQueryAttributes, path); !failed) return failed;
  return inner_.QueryAttributes(path, attributes);
}

FsStatus FaultInjectingFileSystem::ListDirectory(const std::string& path, std::uint32_t filter,
                                                 const ListVisitor& visit, ListDetail detail) {
  if (FsStatus failed = Check(FsOperation::kListDirectory, path); !failed) return failed;
  return inner_.ListDirectory(path, filter, visit, detail);
}

FsStatus FaultInjectingFileSystem::Exists(const std::string& path, bool& exists) {
  if (FsStatus failed = Check(FsOperation::kExists, path); !failed) return failed;
  return inner_.Exists(path, exists);
}

FsStatus FaultInjectingFileSystem::SetAttributes(const std::string& path,
                                                 std::uint32_t attributes) {
  if (FsStatus failed = Record(FsOperation::kSetAttributes, path); !failed) return failed;
  return inner_.SetAttributes(path, attributes);
}

FsStatus FaultInjectingFileSystem::DeleteFile(const std::string& path) {
  if (FsStatus failed = Record(FsOperation::kDeleteFile, path); !failed) return failed;
  return inner_.DeleteFile(path);
}

FsStatus FaultInjectingFileSystem::RemoveDirectory(const std::string& path) {
  if (FsStatus failed = Record(FsOperation::kRemoveDirectory, path); !failed) return failed;
  return inner_.RemoveDirectory(path);
}

FsStatus FaultInjectingFileSystem::CreateDirectory(const std::string& path) {
  if (FsStatus failed = Record(FsOperation::kCreateDirectory, path); !failed) return failed;
  return inner_.CreateDirectory(path);
}

FsStatus FaultInjectingFileSystem::FileLength(const std::string& path, std::uint64_t& length) {
  if (FsStatus failed = Check(FsOperation::kFileLength, path); !failed) return failed;
  return inner_.FileLength(path, length);
}

FsStatus FaultInjectingFileSystem::WriteFile(const std::string& path, std::string_view bytes) {
  if (FsStatus failed = Record(FsOperation::kWriteFile, path); !failed) return failed;
  return inner_.WriteFile(path, bytes);
}

FsStatus FaultInjectingFileSystem::CopyFile(const std::string& source, const std::string& target) {
  if (FsStatus failed = Check(FsOperation::kCopyFile, source); !failed) return failed;
  if (FsStatus failed = Record(FsOperation::kCopyFile, target); !failed) return failed;
  return inner_.CopyFile(source, target);
}

FsStatus FaultInjectingFileSystem::ResolvePath(const std::string& path, std::string& resolved) {
  if (FsStatus failed = Check(FsOperation::kResolvePath, path); !failed) return failed;
  return inner_.ResolvePath(path, resolved);
}

}  // namespace talvex::platform
