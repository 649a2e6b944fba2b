// The file-system primitives on the wide-character Win32 API. Paths arrive as the core's UTF-8
// texts (drive letter, colon, backslashes) and are converted here, so any name is reachable.
// Every failure carries GetLastError(), the system's own text for it and the path concerned.
#include "platform/win32/windows_api.h"

#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/win32/copy_file_live.h"
#include "platform/win32/utf.h"

namespace talvex::platform {
namespace {

// The plain form of a path stops working beyond this length (CreateDirectoryW keeps room for an
// 8.3 name); longer paths take the \\?\ form, which the API passes on without any parsing.
constexpr std::size_t kLongPathThreshold = MAX_PATH - 12;

// Bits that SetFileAttributesW accepts; the others describe what an entry is, not how it is.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// "An operation is not supported on a directory." (missing from some SDK headers)
constexpr DWORD kErrorDirectoryNotSupported = 336;

constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string SystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "error " + std::to_string(code);
  return WideToUtf8(text);
}

FsStatus ErrorStatus(DWORD code, const std::string& path) {
  // A failing call that leaves no error code behind must still read as a failure.
  if (code == ERROR_SUCCESS) code = ERROR_GEN_FAILURE;
  return FsStatus{static_cast<int>(code), SystemMessage(code), path};
}

FsStatus LastError(const std::string& path) {
  return ErrorStatus(::GetLastError(), path);
}

bool StartsWith(const std::wstring& text, std::wstring_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The text to hand to the API: unchanged while short, the extended \\?\ form of the full path
// once it is long. The full path is taken first because the extended form is not normalised.
std::wstring ApiPath(const std::wstring& path) {
  if (path.size() < kLongPathThreshold || StartsWith(path, L"\\\\?\\") ||
      StartsWith(path, L"\\\\.\\")) {
    return path;
  }
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD written = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return path;
  full.resize(written);
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Converts a UTF-8 path for the API; an invalid UTF-8 text names no file at all.
FsStatus Widen(const std::string& path, std::wstring& wide) {
  if (!TryUtf8ToWide(path, wide)) return ErrorStatus(ERROR_NO_UNICODE_TRANSLATION, path);
  wide = ApiPath(wide);
  return {};
}

// Windows reports a file without any other bit as FILE_ATTRIBUTE_NORMAL; for us that is 0.
std::uint32_t AttributesOf(DWORD attributes) {
  return attributes == FILE_ATTRIBUTE_NORMAL ? std::uint32_t{kAttrNormal} : attributes;
}

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsNotFound(DWORD error) {
  // ERROR_DIRECTORY: a level of the path is a file, so nothing below it can exist either.
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY;
}

// An entry is left out unless each of its hidden, system and directory bits is in the filter.
bool PassesFilter(std::uint32_t attributes, std::uint32_t filter) {
  return (attributes & kListEverything & ~filter) == 0;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and says whether it worked: a write may be refused only at close.
  bool Close() {
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (valid()) ::FindClose(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

HANDLE FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
  return ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                            FIND_FIRST_EX_LARGE_FETCH);
}

// Opens an entry for nothing but questions about it (identity, final name); links are followed,
// and directories open too.
HANDLE OpenForQuery(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareEverything, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Attributes of the entry itself. A few files in use by the system refuse even this question
// (a sharing violation); their directory's listing still tells.
bool ReadAttributes(const std::wstring& wide, DWORD& attributes, DWORD& error) {
  attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return true;
  error = ::GetLastError();
  if (error != ERROR_SHARING_VIOLATION) return false;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirst(wide, data));
  if (!find.valid()) return false;
  attributes = data.dwFileAttributes;
  return true;
}

struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool IdentityOf(const Handle& file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file.get(), &info)) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share" -> "\\server\share".
std::wstring WithoutExtendedPrefix(std::wstring path) {
  if (StartsWith(path, L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (StartsWith(path, L"\\\\?\\")) return path.substr(4);
  return path;
}

bool IsBareDrive(const std::wstring& path) {
  return path.size() == 2 && path[1] == L':' &&
         ((path[0] >= L'a' && path[0] <= L'z') || (path[0] >= L'A' && path[0] <= L'Z'));
}

bool FullPathOf(const std::wstring& path, std::wstring& full) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  full.assign(needed, L'\0');
  const DWORD written = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return false;
  full.resize(written);
  return true;
}

// The name the file system itself gives an open entry, links resolved; false when it cannot say.
bool FinalPathOf(const Handle& entry, std::wstring& final_path) {
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD needed = ::GetFinalPathNameByHandleW(entry.get(), nullptr, 0, flags);
  if (needed == 0) return false;
  std::wstring buffer(needed, L'\0');
  const DWORD written = ::GetFinalPathNameByHandleW(entry.get(), buffer.data(), needed, flags);
  if (written == 0 || written >= needed) return false;
  buffer.resize(written);
  final_path = WithoutExtendedPrefix(std::move(buffer));
  return true;
}

std::wstring JoinWide(std::wstring head, const std::wstring& tail) {
  if (tail.empty()) return head;
  if (head.empty() || head.back() != L'\\') head += L'\\';
  return head + tail;
}

class Win32FileSystem final : public FileSystem {
 public:
  FsStatus QueryAttributes(const std::string& path, std::uint32_t& attributes) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    DWORD found = 0;
    DWORD error = ERROR_SUCCESS;
    if (!ReadAttributes(wide, found, error)) return ErrorStatus(error, path);
    attributes = AttributesOf(found);
    return {};
  }

  FsStatus ListDirectory(const std::string& path, std::uint32_t filter, const ListVisitor& visit,
                         ListDetail /*detail: the listing always brings everything*/) override {
    std::string pattern = path;
    // A bare drive "e:" stands for its root here, as everywhere in this program.
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    pattern += '*';
    std::wstring wide;
    if (FsStatus converted = Widen(pattern, wide); !converted) return converted;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirst(wide, data));
    if (!find.valid()) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) return EmptyOrNotADirectory(path);
      return ErrorStatus(error, path);
    }
    std::string name;
    do {
      if (IsDotOrDotDot(data.cFileName)) continue;
      DirEntry entry;
      entry.attributes = AttributesOf(data.dwFileAttributes);
      if (!PassesFilter(entry.attributes, filter)) continue;
      name = WideToUtf8(data.cFileName);
      entry.name = name;
      if (!entry.IsDirectory()) {
        entry.size = FileSizeFromWords(data.nFileSizeHigh, data.nFileSizeLow);
      }
      if (!visit(entry)) return {};
    } while (::FindNextFileW(find.get(), &data));
    const DWORD error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) return ErrorStatus(error, path);
    return {};
  }

  FsStatus Exists(const std::string& path, bool& exists) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    DWORD attributes = 0;
    DWORD error = ERROR_SUCCESS;
    if (ReadAttributes(wide, attributes, error)) {
      exists = true;
      return {};
    }
    if (IsNotFound(error)) {
      exists = false;
      return {};
    }
    return ErrorStatus(error, path);
  }

  FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    DWORD wanted = attributes & kSettableAttributes;
    // 0 would mean "leave as they are" further down; the normal state has its own bit.
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    // Wine drops hidden and system when they come together with read-only for an unprivileged
    // user; setting them before read-only gives the same result everywhere.
    const DWORD hidden_or_system = wanted & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if ((wanted & FILE_ATTRIBUTE_READONLY) != 0 && hidden_or_system != 0 &&
        !::SetFileAttributesW(wide.c_str(), wanted & ~FILE_ATTRIBUTE_READONLY)) {
      return LastError(path);
    }
    if (!::SetFileAttributesW(wide.c_str(), wanted)) return LastError(path);
    return {};
  }

  FsStatus DeleteFile(const std::string& path) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    if (!::DeleteFileW(wide.c_str())) return LastError(path);
    return {};
  }

  FsStatus RemoveDirectory(const std::string& path) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    if (!::RemoveDirectoryW(wide.c_str())) return LastError(path);
    return {};
  }

  FsStatus CreateDirectory(const std::string& path) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    if (!::CreateDirectoryW(wide.c_str(), nullptr)) return LastError(path);
    return {};
  }

  FsStatus FileLength(const std::string& path, std::uint64_t& length) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
      return LastError(path);
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return ErrorStatus(kErrorDirectoryNotSupported, path);
    }
    length = FileSizeFromWords(data.nFileSizeHigh, data.nFileSizeLow);
    return {};
  }

  FsStatus WriteFile(const std::string& path, std::string_view bytes) override {
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    Handle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return LastError(path);
    constexpr std::size_t kChunk = 1u << 30;  // WriteFile counts in DWORD
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(bytes.size() < kChunk ? bytes.size() : kChunk);
      DWORD written = 0;
      if (!::WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) return LastError(path);
      if (written == 0) return ErrorStatus(ERROR_WRITE_FAULT, path);
      bytes.remove_prefix(written);
    }
    if (!file.Close()) return LastError(path);
    return {};
  }

  FsStatus CopyFile(const std::string& source, const std::string& target) override {
    std::wstring wide_source;
    std::wstring wide_target;
    if (FsStatus converted = Widen(source, wide_source); !converted) return converted;
    if (FsStatus converted = Widen(target, wide_target); !converted) return converted;
    if (FsStatus distinct = RefuseSameFile(wide_source, wide_target, source, target); !distinct) {
      return distinct;
    }
    if (!CopyFileKeepingCallerLive(wide_source.c_str(), wide_target.c_str())) {
      return LastError(target);
    }
    return {};
  }

  FsStatus ResolvePath(const std::string& path, std::string& resolved) override {
    std::wstring wide;
    if (!TryUtf8ToWide(path, wide)) return ErrorStatus(ERROR_NO_UNICODE_TRANSLATION, path);
    // "e:" alone is the current folder of drive e to the API; for us it is always the root.
    if (IsBareDrive(wide)) wide += L'\\';
    std::wstring head;
    if (!FullPathOf(wide, head)) return LastError(path);
    if (head.size() > 3 && head.back() == L'\\') head.pop_back();
    // The longest head that exists is resolved by the file system; the missing rest is kept
    // as written.
    std::wstring tail;
    for (;;) {
      Handle entry(OpenForQuery(ApiPath(head)));
      if (entry.valid()) {
        std::wstring final_path;
        if (!FinalPathOf(entry, final_path)) final_path = head;
        resolved = WideToUtf8(JoinWide(std::move(final_path), tail));
        return {};
      }
      const DWORD error = ::GetLastError();
      if (!IsNotFound(error)) return ErrorStatus(error, path);
      const std::size_t separator = head.find_last_of(L'\\');
      if (separator == std::wstring::npos || separator + 1 == head.size()) {
        return ErrorStatus(error, path);
      }
      tail = JoinWide(head.substr(separator + 1), tail);
      head.erase(separator);
      if (!head.empty() && head.back() == L':') head += L'\\';
    }
  }

 private:
  // A listing of "path\*" that finds nothing at all: an empty root, or no directory there.
  FsStatus EmptyOrNotADirectory(const std::string& path) {
    std::uint32_t attributes = 0;
    if (FsStatus queried = QueryAttributes(path, attributes); !queried) return queried;
    if ((attributes & kAttrDirectory) == 0) return NotADirectoryStatus(path);
    return {};
  }

  // Copying a file onto itself (the same path, or another name of the same file) would empty
  // it before reading it: refuse, as Windows does when the source is open.
  static FsStatus RefuseSameFile(const std::wstring& source, const std::wstring& target,
                                 const std::string& source_text, const std::string& target_text) {
    Handle source_file(OpenForQuery(source));
    if (!source_file.valid()) return LastError(source_text);
    Handle target_file(OpenForQuery(target));
    if (!target_file.valid()) return {};  // no target yet, or CopyFileW will say what is wrong
    FileIdentity source_identity;
    FileIdentity target_identity;
    if (IdentityOf(source_file, source_identity) && IdentityOf(target_file, target_identity) &&
        source_identity == target_identity) {
      return ErrorStatus(ERROR_SHARING_VIOLATION, target_text);
    }
    return {};
  }
};

}  // namespace

FsStatus NotADirectoryStatus(const std::string& path) {
  return ErrorStatus(ERROR_DIRECTORY, path);
}

FileSystem& NativeFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace talvex::platform
