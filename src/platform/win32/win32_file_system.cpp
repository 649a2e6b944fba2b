// The file-system primitives on the wide-character Win32 API. Paths arrive as the core's UTF-8
// texts (drive letter, colon, backslashes) and are converted here, so any name is reachable.
// Every failure carries GetLastError(), the system's own text for it and the path concerned.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
  Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      if (valid()) ::CloseHandle(handle_);
      handle_ = other.handle_;
      other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and says whether it worked: a write may be refused only at close.
  bool Close() {
    if (!valid()) return true;
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

FsStatus SetAttributesOf(const std::string& path, std::uint32_t attributes) {
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

FsStatus QueryAttributesOf(const std::string& path, std::uint32_t& attributes) {
  std::wstring wide;
  if (FsStatus converted = Widen(path, wide); !converted) return converted;
  DWORD found = 0;
  DWORD error = ERROR_SUCCESS;
  if (!ReadAttributes(wide, found, error)) return ErrorStatus(error, path);
  attributes = AttributesOf(found);
  return {};
}

// A listing of "path\*" that finds nothing at all: an empty root, or no directory there.
FsStatus EmptyOrNotADirectory(const std::string& path) {
  std::uint32_t attributes = 0;
  if (FsStatus queried = QueryAttributesOf(path, attributes); !queried) return queried;
  if ((attributes & kAttrDirectory) == 0) return NotADirectoryStatus(path);
  return {};
}

FsStatus ListFolder(const std::string& path, std::uint32_t filter, const ListVisitor& visit) {
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

// "e:" alone is the current folder of drive e to the API; for us it is always the root.
std::string AsFolderPath(std::string path) {
  if (path.size() == 2 && path[1] == ':') path += '\\';
  return path;
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileId{info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// No FILE_SHARE_DELETE: while we work inside a folder nobody can rename or remove it, nor any
// folder above it, so the path we compose for its entries keeps naming this very folder.
constexpr DWORD kPinningShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens a folder to work in. `follow` is for a folder the caller pointed us to; every folder
// below it is opened as the entry itself, so a junction or symbolic link is seen, not entered.
FsStatus OpenFolderHandle(const std::string& path, bool follow, Handle& handle, FileId& id) {
  std::wstring wide;
  if (FsStatus converted = Widen(AsFolderPath(path), wide); !converted) return converted;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  Handle opened(::CreateFileW(wide.c_str(),
                              FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              kPinningShare, nullptr, OPEN_EXISTING, flags, nullptr));
  if (!opened.valid()) return LastError(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(opened.get(), &info)) return LastError(path);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return RefusalStatus(kLinkRefused, path);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return NotADirectoryStatus(path);
  id = IdOf(info);
  handle = std::move(opened);
  return {};
}

// Opens a kit file for reading as plain data: a link or a device is refused, not opened through.
FsStatus OpenPlainFile(const std::string& path, Handle& handle, FileId& id, FILETIME& written) {
  std::wstring wide;
  if (FsStatus converted = Widen(path, wide); !converted) return converted;
  Handle opened(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!opened.valid()) return LastError(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(opened.get(), &info)) return LastError(path);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return RefusalStatus(kLinkRefused, path);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return ErrorStatus(kErrorDirectoryNotSupported, path);
  }
  if (::GetFileType(opened.get()) != FILE_TYPE_DISK)
    return RefusalStatus(kSpecialFileRefused, path);
  id = IdOf(info);
  written = info.ftLastWriteTime;
  handle = std::move(opened);
  return {};
}

// Removes the entry itself through a handle of its own: a read-only file is made writable first,
// a link goes as a link, and nothing it points at is touched.
FsStatus RemoveLeftover(const std::wstring& wide, const std::string& path, const FileId* source) {
  Handle entry(::CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                             kShareEverything, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!entry.valid()) return LastError(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(entry.get(), &info)) return LastError(path);
  if (source != nullptr && IdOf(info) == *source) {
    // Replacing the target would delete the very file we copy from.
    return ErrorStatus(ERROR_SHARING_VIOLATION, path);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return ErrorStatus(ERROR_FILE_EXISTS, path);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic)) {
      return LastError(path);
    }
  }
  // Its one member is spelled DeleteFileW by winbase.h's macro: set it by position.
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
    return LastError(path);
  }
  return {};
}

// Creates `path` as a new file; a leftover of that name is removed as an entry first.
FsStatus CreateNewFile(const std::string& path, Handle& handle, const FileId* source) {
  std::wstring wide;
  if (FsStatus converted = Widen(path, wide); !converted) return converted;
  for (int attempt = 0;; ++attempt) {
    Handle created(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (created.valid()) {
      handle = std::move(created);
      return {};
    }
    const DWORD error = ::GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt > 0) {
      return ErrorStatus(error, path);
    }
    if (FsStatus removed = RemoveLeftover(wide, path, source); !removed) return removed;
  }
}

bool WriteAllBytes(HANDLE file, std::string_view bytes) {
  constexpr std::size_t kChunk = 1u << 30;  // WriteFile counts in DWORD
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() < kChunk ? bytes.size() : kChunk);
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

bool CopyContent(HANDLE in, HANDLE out) {
  static thread_local std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return false;
    }
    if (got == 0) return true;
    if (!WriteAllBytes(out, std::string_view(buffer.data(), got))) return false;
  }
}

void DeletePath(const std::string& path) {
  std::wstring wide;
  if (Widen(path, wide)) ::DeleteFileW(wide.c_str());
}

std::string TemporaryName(std::string_view name) {
  static std::atomic<unsigned> counter{0};
  return "." + std::string(name) + ".talvex-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(counter.fetch_add(1));
}

class Win32Reader final : public FileReader {
 public:
  Win32Reader(Handle handle, std::string path)
      : handle_(std::move(handle)), path_(std::move(path)) {}
  FsStatus Read(char* buffer, std::size_t size, std::size_t& got) override {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::ReadFile(handle_.get(), buffer, want, &read, nullptr)) return LastError(path_);
    got = read;
    return {};
  }

 private:
  Handle handle_;
  std::string path_;
};

class Win32Directory final : public Directory {
 public:
  Win32Directory(std::string path, Handle handle, FileId id)
      : path_(std::move(path)), handle_(std::move(handle)), id_(id) {}

  const std::string& path() const override { return path_; }
  FileId id() const override { return id_; }

  FsStatus List(const ListVisitor& visit, ListDetail /*everything comes anyway*/) override {
    return ListFolder(path_, kListEverything, visit);
  }

  FsStatus OpenSubdirectory(std::string_view name, std::unique_ptr<Directory>& opened) override {
    return Open(ChildPath(path_, name), opened);
  }

  FsStatus OpenParent(std::unique_ptr<Directory>& opened) override {
    std::string parent = path_;
    while (!parent.empty() && parent.back() == '\\') parent.pop_back();
    const std::size_t separator = parent.find_last_of('\\');
    if (separator == std::string::npos) return ErrorStatus(ERROR_PATH_NOT_FOUND, path_);
    parent.erase(separator);
    return Open(parent, opened);
  }

  FsStatus SetAttributes(std::string_view name, std::uint32_t attributes) override {
    return SetAttributesOf(ChildPath(path_, name), attributes);
  }

  FsStatus DeleteFile(std::string_view name) override {
    return Call(name, [](const wchar_t* path) { return ::DeleteFileW(path); });
  }
  FsStatus RemoveDirectory(std::string_view name) override {
    return Call(name, [](const wchar_t* path) { return ::RemoveDirectoryW(path); });
  }
  FsStatus CreateDirectory(std::string_view name) override {
    return Call(name, [](const wchar_t* path) { return ::CreateDirectoryW(path, nullptr); });
  }

  FsStatus CopyFileIn(std::string_view name, Directory& source,
                      std::string_view source_name) override {
    const std::string source_path = ChildPath(source.path(), source_name);
    const std::string target_path = ChildPath(path_, name);
    Handle in(INVALID_HANDLE_VALUE);
    FileId source_id;
    FILETIME written{};
    if (FsStatus opened = OpenPlainFile(source_path, in, source_id, written); !opened) {
      return opened;
    }
    Handle out(INVALID_HANDLE_VALUE);
    if (FsStatus created = CreateNewFile(target_path, out, &source_id); !created) return created;
    // The kit's time stays with the file, as a copy in Explorer keeps it. A large file takes a
    // while: the window on this thread keeps painting meanwhile.
    const BOOL copied = CallKeepingCallerLive([&] {
      return CopyContent(in.get(), out.get()) &&
             ::SetFileTime(out.get(), nullptr, nullptr, &written);
    });
    if (!copied || !out.Close()) {
      FsStatus failure = LastError(target_path);
      out.Close();
      DeletePath(target_path);  // a half-copied file must not pass for the real one
      return failure;
    }
    return {};
  }

  FsStatus WriteFileIn(std::string_view name, std::string_view bytes) override {
    const std::string target_path = ChildPath(path_, name);
    Handle out(INVALID_HANDLE_VALUE);
    if (FsStatus created = CreateNewFile(target_path, out, nullptr); !created) return created;
    if (!WriteAllBytes(out.get(), bytes) || !out.Close()) {
      FsStatus failure = LastError(target_path);
      out.Close();
      DeletePath(target_path);
      return failure;
    }
    return {};
  }

  FsStatus OpenForReading(std::string_view name, bool /*from_device: read after the flush*/,
                          std::unique_ptr<FileReader>& reader) override {
    const std::string path = ChildPath(path_, name);
    Handle handle(INVALID_HANDLE_VALUE);
    FileId id;
    FILETIME written{};
    if (FsStatus opened = OpenPlainFile(path, handle, id, written); !opened) return opened;
    reader = std::make_unique<Win32Reader>(std::move(handle), path);
    return {};
  }

  FsStatus ReplaceFile(std::string_view name, std::string_view bytes) override {
    const std::string target_path = ChildPath(path_, name);
    std::wstring wide_target;
    if (FsStatus converted = Widen(target_path, wide_target); !converted) return converted;
    std::string temporary_path;
    std::wstring wide_temporary;
    Handle out(INVALID_HANDLE_VALUE);
    for (int attempt = 0; !out.valid(); ++attempt) {
      temporary_path = ChildPath(path_, TemporaryName(name));
      if (FsStatus converted = Widen(temporary_path, wide_temporary); !converted) return converted;
      out = Handle(::CreateFileW(wide_temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!out.valid() && (::GetLastError() != ERROR_FILE_EXISTS || attempt > 16)) {
        return LastError(target_path);
      }
    }
    const bool written =
        WriteAllBytes(out.get(), bytes) && ::FlushFileBuffers(out.get()) && out.Close();
    if (!written || !::MoveFileExW(wide_temporary.c_str(), wide_target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      FsStatus failure = LastError(target_path);
      out.Close();
      ::DeleteFileW(wide_temporary.c_str());
      return failure;
    }
    return {};
  }

 private:
  static FsStatus Open(std::string path, std::unique_ptr<Directory>& opened) {
    Handle handle(INVALID_HANDLE_VALUE);
    FileId id;
    if (FsStatus status = OpenFolderHandle(path, false, handle, id); !status) return status;
    opened = std::make_unique<Win32Directory>(std::move(path), std::move(handle), id);
    return {};
  }

  template <typename Api>
  FsStatus Call(std::string_view name, Api api) {
    const std::string path = ChildPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    if (!api(wide.c_str())) return LastError(path);
    return {};
  }

  std::string path_;
  Handle handle_;
  FileId id_;
};

class Win32FileSystem final : public FileSystem {
 public:
  FsStatus QueryAttributes(const std::string& path, std::uint32_t& attributes) override {
    return QueryAttributesOf(path, attributes);
  }

  FsStatus ListDirectory(const std::string& path, std::uint32_t filter, const ListVisitor& visit,
                         ListDetail /*detail: the listing always brings everything*/) override {
    return ListFolder(path, filter, visit);
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
    return SetAttributesOf(path, attributes);
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
    if (!CallKeepingCallerLive(
            [&] { return ::CopyFileW(wide_source.c_str(), wide_target.c_str(), FALSE); })) {
      return LastError(target);
    }
    return {};
  }

  std::vector<FsStatus> Flush(const std::string& /*root*/,
                              const std::vector<std::string>& written) override {
    // Flushing a whole volume takes an administrator; flushing each file does not.
    std::vector<FsStatus> failures;
    for (const std::string& path : written) {
      std::wstring wide;
      if (FsStatus converted = Widen(path, wide); !converted) {
        failures.push_back(converted);
        continue;
      }
      Handle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareEverything, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!file.valid() || !CallKeepingCallerLive([&] { return ::FlushFileBuffers(file.get()); })) {
        failures.push_back(LastError(path));
      }
    }
    return failures;
  }

  FsStatus Identify(const std::string& path, FileId& id) override {
    std::wstring wide;
    if (FsStatus converted = Widen(AsFolderPath(path), wide); !converted) return converted;
    Handle entry(OpenForQuery(wide));
    if (!entry.valid()) return LastError(path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(entry.get(), &info)) return LastError(path);
    id = IdOf(info);
    return {};
  }

  FsStatus OpenDirectory(const std::string& path, std::unique_ptr<Directory>& opened) override {
    Handle handle(INVALID_HANDLE_VALUE);
    FileId id;
    if (FsStatus status = OpenFolderHandle(path, true, handle, id); !status) return status;
    opened = std::make_unique<Win32Directory>(AsFolderPath(path), std::move(handle), id);
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

FsStatus RefusalStatus(std::string_view why, const std::string& path) {
  return FsStatus{static_cast<int>(ERROR_CANCELLED), std::string(why), path};
}

FsStatus MismatchStatus(std::string_view why, const std::string& path) {
  return FsStatus{static_cast<int>(ERROR_FILE_CORRUPT), std::string(why), path};
}

FileSystem& NativeFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace talvex::platform
