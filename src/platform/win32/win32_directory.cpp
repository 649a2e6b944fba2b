// Directory handles on Win32. A folder is held open without delete sharing while we work in it,
// so neither it nor any folder above it can be renamed or replaced under us; entries are opened
// as themselves (reparse points not followed); files are created new.
#include "platform/win32/win32_directory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/temporary_files.h"
#include "platform/win32/win32_support.h"

namespace talvex::platform::win32 {
namespace {

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

bool CopyContent(HANDLE in, HANDLE out, const ByteProgress& progress) {
  static thread_local std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return false;
    }
    if (got == 0) return true;
    if (!WriteAllBytes(out, std::string_view(buffer.data(), got))) return false;
    if (progress) progress(got);
  }
}

void DeletePath(const std::string& path) {
  std::wstring wide;
  if (Widen(path, wide)) ::DeleteFileW(wide.c_str());
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

  FsStatus EntryAttributes(std::string_view name, std::uint32_t& attributes) override {
    return QueryAttributesOf(JoinPath(path_, name), attributes);
  }

  FsStatus LockForBuild(bool& busy) override {
    busy = false;
    // A semaphore of one named after what the folder is (its volume's serial number and its
    // index there), whatever letter or path reaches it. Unlike a mutex it belongs to no thread,
    // so a second build in the same thread is refused too. The object goes with the last handle
    // to it, so a build that dies lets the drive go.
    wchar_t name[80];
    ::swprintf(name, 80, L"Local\\TalvexAuto.Build.%016llx.%016llx",
               static_cast<unsigned long long>(id_.volume),
               static_cast<unsigned long long>(id_.index));
    Handle lock(::CreateSemaphoreW(nullptr, 1, 1, name));
    if (!lock.valid()) return LastError(path_);
    const DWORD waited = ::WaitForSingleObject(lock.get(), 0);
    if (waited == WAIT_OBJECT_0) {
      lock_ = std::move(lock);
      return {};
    }
    busy = waited == WAIT_TIMEOUT;
    return ErrorStatus(busy ? ERROR_LOCK_VIOLATION : ::GetLastError(), path_);
  }

  ~Win32Directory() override {
    if (lock_.valid()) ::ReleaseSemaphore(lock_.get(), 1, nullptr);
  }

  FsStatus OpenSubdirectory(std::string_view name, std::unique_ptr<Directory>& opened) override {
    return Open(JoinPath(path_, name), opened);
  }

  FsStatus OpenParent(std::unique_ptr<Directory>& opened) override {
    const std::string parent = ParentFolder(path_);
    if (parent.empty()) return ErrorStatus(ERROR_PATH_NOT_FOUND, path_);
    return Open(parent, opened);
  }

  FsStatus SetAttributes(std::string_view name, std::uint32_t attributes) override {
    return SetAttributesOf(JoinPath(path_, name), attributes);
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

  FsStatus CopyFileIn(std::string_view name, Directory& source, std::string_view source_name,
                      const ByteProgress& progress) override {
    const std::string source_path = JoinPath(source.path(), source_name);
    const std::string target_path = JoinPath(path_, name);
    Handle in(INVALID_HANDLE_VALUE);
    FileId source_id;
    FILETIME written{};
    if (FsStatus opened = OpenPlainFile(source_path, in, source_id, written); !opened) {
      return opened;
    }
    Handle out(INVALID_HANDLE_VALUE);
    if (FsStatus created = CreateNewFile(target_path, out, &source_id); !created) return created;
    // The kit's time stays with the file, as a copy in Explorer keeps it.
    const BOOL copied = CopyContent(in.get(), out.get(), progress) &&
                        ::SetFileTime(out.get(), nullptr, nullptr, &written);
    if (!copied || !out.Close()) {
      FsStatus failure = LastError(target_path);
      out.Close();
      DeletePath(target_path);  // a half-copied file must not pass for the real one
      return failure;
    }
    return {};
  }

  FsStatus WriteFileIn(std::string_view name, std::string_view bytes) override {
    const std::string target_path = JoinPath(path_, name);
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
    const std::string path = JoinPath(path_, name);
    Handle handle(INVALID_HANDLE_VALUE);
    FileId id;
    FILETIME written{};
    if (FsStatus opened = OpenPlainFile(path, handle, id, written); !opened) return opened;
    reader = std::make_unique<Win32Reader>(std::move(handle), path);
    return {};
  }

  FsStatus ReplaceFile(std::string_view name, std::string_view bytes) override {
    const std::string target_path = JoinPath(path_, name);
    std::wstring wide_target;
    if (FsStatus converted = Widen(target_path, wide_target); !converted) return converted;
    RemoveStaleTemporaries(name);
    std::string temporary_path;
    std::wstring wide_temporary;
    Handle out(INVALID_HANDLE_VALUE);
    for (int attempt = 0; !out.valid(); ++attempt) {
      temporary_path = JoinPath(path_, TemporaryName(name));
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
  static FsStatus Open(const std::string& path, std::unique_ptr<Directory>& opened) {
    return OpenFolder(path, false, opened);
  }

  template <typename Api>
  FsStatus Call(std::string_view name, Api api) {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = Widen(path, wide); !converted) return converted;
    if (!api(wide.c_str())) return LastError(path);
    return {};
  }

  // Removes what builds killed before they could rename their temporary file left beside `name`.
  void RemoveStaleTemporaries(std::string_view name) {
    for (const std::string& leftover : StaleTemporaries(*this, name)) {
      DeletePath(JoinPath(path_, leftover));
    }
  }

  std::string path_;
  Handle handle_;
  FileId id_;
  Handle lock_{INVALID_HANDLE_VALUE};  // held while this folder is locked for a build
};

}  // namespace

FsStatus OpenFolder(const std::string& path, bool follow, std::unique_ptr<Directory>& opened) {
  Handle handle(INVALID_HANDLE_VALUE);
  FileId id;
  if (FsStatus status = OpenFolderHandle(path, follow, handle, id); !status) return status;
  opened = std::make_unique<Win32Directory>(AsFolderPath(path), std::move(handle), id);
  return {};
}

}  // namespace talvex::platform::win32
