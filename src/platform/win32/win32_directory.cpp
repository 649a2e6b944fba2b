// Directory handles on Win32. A folder is held open without delete sharing while we work in it,
// so it cannot be renamed or removed under us. Every entry of it is reached through that handle
// and the entry's bare name (win32_relative.h), never through a path: neither a drive letter
// given to another folder nor a rename above the folder can redirect an operation in it.
// Entries are opened as themselves (reparse points not followed); files are created new.
#include "platform/win32/win32_directory.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/temporary_files.h"
#include "platform/win32/utf.h"
#include "platform/win32/win32_relative.h"
#include "platform/win32/win32_support.h"

namespace talvex::platform::win32 {
namespace {

// A folder we work in is opened for listing and questions, shared so that nobody can rename or
// remove it (no FILE_SHARE_DELETE) while we hold it.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kPinningShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Opens an entry as itself: a link or a junction is never followed.
constexpr ULONG kAsItself = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT;

// A folder's handle, shared with the folders opened below the one the caller pointed us to.
using SharedHandle = std::shared_ptr<const Handle>;

FsStatus WideName(std::string_view name, const std::string& path, std::wstring& wide) {
  if (!TryUtf8ToWide(name, wide)) return ErrorStatus(ERROR_NO_UNICODE_TRANSLATION, path);
  return {};
}

// A folder to work in is a directory, and not a link to one; its identity comes with the check.
FsStatus CheckFolder(const Handle& handle, const std::string& path, FileId& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError(path);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return RefusalStatus(kLinkRefused, path);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return NotADirectoryStatus(path);
  id = IdOf(info);
  return {};
}

// Opens the folder at `path`: the one place where a folder is reached by its path. `follow` is
// for a folder the caller pointed us to; otherwise a junction or symbolic link is seen, not
// entered.
FsStatus OpenFolderHandle(const std::string& path, bool follow, Handle& handle, FileId& id) {
  std::wstring wide;
  if (FsStatus converted = Widen(AsFolderPath(path), wide); !converted) return converted;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  Handle opened(::CreateFileW(wide.c_str(), kFolderAccess, kPinningShare, nullptr, OPEN_EXISTING,
                              flags, nullptr));
  if (!opened.valid()) return LastError(path);
  if (FsStatus checked = CheckFolder(opened, path, id); !checked) return checked;
  handle = std::move(opened);
  return {};
}

// Opens the kit file `name` of `folder` for reading as plain data: a link or a device is
// refused, not opened through.
FsStatus OpenPlainFile(HANDLE folder, const std::wstring& name, const std::string& path,
                       Handle& handle, FileId& id, FILETIME& written) {
  Handle opened(INVALID_HANDLE_VALUE);
  if (!OpenRelative(folder, name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                    FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SEQUENTIAL_ONLY,
                    opened)) {
    return LastError(path);
  }
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

// The entry goes when its last handle closes.
bool MarkForDeletion(const Handle& entry) {
  // Its one member is spelled DeleteFileW by winbase.h's macro: set it by position.
  FILE_DISPOSITION_INFO disposition{TRUE};
  return ::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

bool SetAttributeBits(const Handle& entry, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = attributes;
  return ::SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Removes the entry `name` of `folder` as itself, a link as a link. `kind` is
// FILE_NON_DIRECTORY_FILE for a file, FILE_DIRECTORY_FILE for an empty folder; a read-only
// file is refused, as DeleteFileW refuses it.
FsStatus RemoveEntry(HANDLE folder, const std::wstring& name, const std::string& path, ULONG kind) {
  Handle entry(INVALID_HANDLE_VALUE);
  if (!OpenRelative(folder, name, DELETE, kShareEverything, FILE_OPEN, kind | kAsItself, entry) ||
      !MarkForDeletion(entry)) {
    return LastError(path);
  }
  return {};
}

// Removes a leftover where a new file goes: a read-only file is made writable first, a link
// goes as a link, and nothing it points at is touched.
FsStatus RemoveLeftover(HANDLE folder, const std::wstring& name, const std::string& path,
                        const FileId* source) {
  Handle entry(INVALID_HANDLE_VALUE);
  if (!OpenRelative(folder, name, DELETE | FILE_WRITE_ATTRIBUTES, kShareEverything, FILE_OPEN,
                    kAsItself, entry)) {
    return LastError(path);
  }
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
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      !SetAttributeBits(entry, FILE_ATTRIBUTE_NORMAL)) {
    return LastError(path);
  }
  if (!MarkForDeletion(entry)) return LastError(path);
  return {};
}

bool IsExistingEntry(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Creates `name` in `folder` as a new file; a leftover of that name is removed as an entry first.
FsStatus CreateNewFile(HANDLE folder, const std::wstring& name, const std::string& path,
                       Handle& handle, const FileId* source) {
  for (int attempt = 0;; ++attempt) {
    if (OpenRelative(folder, name, GENERIC_WRITE, 0, FILE_CREATE,
                     FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, handle)) {
      return {};
    }
    const DWORD error = ::GetLastError();
    if (!IsExistingEntry(error) || attempt > 0) return ErrorStatus(error, path);
    if (FsStatus removed = RemoveLeftover(folder, name, path, source); !removed) return removed;
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

enum class CopyOutcome { kCopied, kFailed, kStopped };

CopyOutcome CopyContent(HANDLE in, HANDLE out, const ByteProgress& progress) {
  static thread_local std::vector<char> buffer(std::size_t{1} << 20);
  static_assert(kProgressPiece >= (std::size_t{1} << 20), "a piece per read at most");
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return CopyOutcome::kFailed;
    }
    if (got == 0) return CopyOutcome::kCopied;
    if (!WriteAllBytes(out, std::string_view(buffer.data(), got))) return CopyOutcome::kFailed;
    if (progress && !progress(got)) return CopyOutcome::kStopped;
  }
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

// A case-blind comparison of the start of `text` with `prefix`, as the file system compares names.
bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
  if (prefix.empty()) return true;
  return text.size() >= prefix.size() &&
         ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

class Win32Directory final : public Directory {
 public:
  // `anchor` is the handle of the folder the caller pointed us to, which this one is below (or
  // is): a folder's parent is reopened through it.
  Win32Directory(std::string path, SharedHandle handle, SharedHandle anchor, FileId id)
      : path_(std::move(path)), handle_(std::move(handle)), anchor_(std::move(anchor)), id_(id) {}

  const std::string& path() const override { return path_; }
  FileId id() const override { return id_; }
  HANDLE folder() const { return handle_->get(); }

  FsStatus List(const ListVisitor& visit, ListDetail /*everything comes anyway*/) override {
    return ListOpenFolder(folder(), path_, {}, visit);
  }

  FsStatus EntryAttributes(std::string_view name, std::uint32_t& attributes) override {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    Handle opened(INVALID_HANDLE_VALUE);
    if (OpenRelative(folder(), wide, 0, kShareEverything, FILE_OPEN, kAsItself, opened)) {
      BY_HANDLE_FILE_INFORMATION info;
      if (!::GetFileInformationByHandle(opened.get(), &info)) return LastError(path);
      attributes = AttributesOf(info.dwFileAttributes);
      return {};
    }
    // A few files in use by the system refuse even this question; the listing still tells.
    const DWORD error = ::GetLastError();
    if (error != ERROR_SHARING_VIOLATION) return ErrorStatus(error, path);
    bool found = false;
    FsStatus status = ListOpenFolder(folder(), path_, wide, [&](const DirEntry& listed) {
      attributes = listed.attributes;
      found = true;
      return false;
    });
    if (status && !found) return ErrorStatus(error, path);
    return status;
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
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    Handle handle(INVALID_HANDLE_VALUE);
    if (!OpenRelative(folder(), wide, kFolderAccess, kPinningShare, FILE_OPEN, kAsItself, handle)) {
      return LastError(path);
    }
    return Adopt(path, std::move(handle), opened);
  }

  FsStatus OpenParent(std::unique_ptr<Directory>& opened) override {
    const std::string parent = ParentFolder(path_);
    if (handle_ == anchor_) {
      // Above the folder the caller pointed us to there is no handle to go through: its parent
      // is reached by path, as the folder itself was.
      if (parent.empty()) return ErrorStatus(ERROR_PATH_NOT_FOUND, path_);
      return OpenFolder(parent, false, opened);
    }
    std::wstring below_anchor;
    if (!ParentBelowAnchor(below_anchor)) return LastError(parent);
    if (below_anchor.empty()) {
      FileId id;
      if (FsStatus checked = CheckFolder(*anchor_, parent, id); !checked) return checked;
      opened = std::make_unique<Win32Directory>(parent, anchor_, anchor_, id);
      return {};
    }
    Handle handle(INVALID_HANDLE_VALUE);
    if (!OpenRelative(anchor_->get(), below_anchor, kFolderAccess, kPinningShare, FILE_OPEN,
                      kAsItself, handle)) {
      return LastError(parent);
    }
    return Adopt(parent, std::move(handle), opened);
  }

  FsStatus SetAttributes(std::string_view name, std::uint32_t attributes) override {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    Handle entry(INVALID_HANDLE_VALUE);
    if (!OpenRelative(folder(), wide, FILE_WRITE_ATTRIBUTES, kShareEverything, FILE_OPEN, kAsItself,
                      entry)) {
      return LastError(path);
    }
    DWORD wanted = attributes & kSettableAttributes;
    // 0 would mean "leave as they are" further down; the normal state has its own bit.
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    // Wine drops hidden and system when they come together with read-only for an unprivileged
    // user; setting them before read-only gives the same result everywhere.
    const DWORD hidden_or_system = wanted & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if ((wanted & FILE_ATTRIBUTE_READONLY) != 0 && hidden_or_system != 0 &&
        !SetAttributeBits(entry, wanted & ~FILE_ATTRIBUTE_READONLY)) {
      return LastError(path);
    }
    if (!SetAttributeBits(entry, wanted)) return LastError(path);
    return {};
  }

  FsStatus DeleteFile(std::string_view name) override {
    return Remove(name, FILE_NON_DIRECTORY_FILE);
  }
  FsStatus RemoveDirectory(std::string_view name) override {
    return Remove(name, FILE_DIRECTORY_FILE);
  }
  FsStatus CreateDirectory(std::string_view name) override {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    Handle created(INVALID_HANDLE_VALUE);
    if (!OpenRelative(folder(), wide, FILE_LIST_DIRECTORY, kShareEverything, FILE_CREATE,
                      FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, created)) {
      return LastError(path);
    }
    return {};
  }

  FsStatus CopyFileIn(std::string_view name, Directory& source, std::string_view source_name,
                      const ByteProgress& progress) override {
    const std::string source_path = JoinPath(source.path(), source_name);
    auto* from = dynamic_cast<Win32Directory*>(&source);
    if (from == nullptr) return ErrorStatus(ERROR_NOT_SAME_DEVICE, source_path);
    const std::string target_path = JoinPath(path_, name);
    std::wstring wide_source;
    std::wstring wide_target;
    if (FsStatus converted = WideName(source_name, source_path, wide_source); !converted) {
      return converted;
    }
    if (FsStatus converted = WideName(name, target_path, wide_target); !converted) {
      return converted;
    }
    Handle in(INVALID_HANDLE_VALUE);
    FileId source_id;
    FILETIME written{};
    if (FsStatus opened =
            OpenPlainFile(from->folder(), wide_source, source_path, in, source_id, written);
        !opened) {
      return opened;
    }
    Handle out(INVALID_HANDLE_VALUE);
    if (FsStatus created = CreateNewFile(folder(), wide_target, target_path, out, &source_id);
        !created) {
      return created;
    }
    // The kit's time stays with the file, as a copy in Explorer keeps it; and the file is on the
    // device when the copy returns, so no flush of the whole volume is needed later.
    const CopyOutcome copied = CopyContent(in.get(), out.get(), progress);
    if (copied != CopyOutcome::kCopied || !::SetFileTime(out.get(), nullptr, nullptr, &written) ||
        !::FlushFileBuffers(out.get()) || !out.Close()) {
      FsStatus failure = copied == CopyOutcome::kStopped
                             ? RefusalStatus(FsReason::kStopped, target_path)
                             : LastError(target_path);
      out.Close();
      // A half-copied file must not pass for the real one.
      RemoveEntry(folder(), wide_target, target_path, FILE_NON_DIRECTORY_FILE);
      return failure;
    }
    return {};
  }

  FsStatus WriteFileIn(std::string_view name, std::string_view bytes) override {
    const std::string target_path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, target_path, wide); !converted) return converted;
    Handle out(INVALID_HANDLE_VALUE);
    if (FsStatus created = CreateNewFile(folder(), wide, target_path, out, nullptr); !created) {
      return created;
    }
    if (!WriteAllBytes(out.get(), bytes) || !::FlushFileBuffers(out.get()) || !out.Close()) {
      FsStatus failure = LastError(target_path);
      out.Close();
      RemoveEntry(folder(), wide, target_path, FILE_NON_DIRECTORY_FILE);
      return failure;
    }
    return {};
  }

  FsStatus Rename(std::string_view from, std::string_view to) override {
    const std::string path = JoinPath(path_, from);
    std::wstring wide_from;
    std::wstring wide_to;
    if (FsStatus converted = WideName(from, path, wide_from); !converted) return converted;
    if (FsStatus converted = WideName(to, path, wide_to); !converted) return converted;
    Handle entry(INVALID_HANDLE_VALUE);
    if (!OpenRelative(folder(), wide_from, DELETE | SYNCHRONIZE, kShareEverything, FILE_OPEN,
                      kAsItself, entry) ||
        !RenameInto(entry.get(), folder(), wide_to, true)) {
      return LastError(path);
    }
    return {};
  }

  FsStatus SetModified(std::string_view name, FileTime time) override {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    Handle entry(INVALID_HANDLE_VALUE);
    const FILETIME written = WindowsFileTimeOf(time);
    if (!OpenRelative(folder(), wide, FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, kShareEverything,
                      FILE_OPEN, kAsItself | FILE_NON_DIRECTORY_FILE, entry) ||
        !::SetFileTime(entry.get(), nullptr, nullptr, &written)) {
      return LastError(path);
    }
    return {};
  }

  // Every file was flushed as it was written (CopyFileIn, WriteFileIn, ReplaceFile).
  FsStatus SyncVolume() override { return {}; }

  FsStatus Volume(VolumeFacts& facts) override {
    facts = {};
    facts.free_bytes = FreeBytesOf(folder());
    wchar_t file_system[MAX_PATH + 1] = {};
    if (::GetVolumeInformationByHandleW(folder(), nullptr, 0, nullptr, nullptr, nullptr,
                                        file_system, MAX_PATH + 1) &&
        std::wstring_view(file_system).starts_with(L"FAT")) {
      facts.largest_file = kFatLargestFile;
    }
    return {};
  }

  FsStatus OpenForReading(std::string_view name, bool /*from_device: read after the flush*/,
                          std::unique_ptr<FileReader>& reader) override {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    Handle handle(INVALID_HANDLE_VALUE);
    FileId id;
    FILETIME written{};
    if (FsStatus opened = OpenPlainFile(folder(), wide, path, handle, id, written); !opened) {
      return opened;
    }
    reader = std::make_unique<Win32Reader>(std::move(handle), path);
    return {};
  }

  FsStatus ReplaceFile(std::string_view name, std::string_view bytes) override {
    const std::string target_path = JoinPath(path_, name);
    std::wstring wide_target;
    if (FsStatus converted = WideName(name, target_path, wide_target); !converted) {
      return converted;
    }
    RemoveStaleTemporaries(name);
    Handle out(INVALID_HANDLE_VALUE);
    for (int attempt = 0; !out.valid(); ++attempt) {
      std::wstring wide_temporary;
      if (FsStatus converted = WideName(TemporaryName(name), target_path, wide_temporary);
          !converted) {
        return converted;
      }
      // Written through, as MoveFileEx's write-through opens the file it moves: its bytes, and
      // then its new name, are on the device when the calls return.
      if (!OpenRelative(folder(), wide_temporary, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                        FILE_NON_DIRECTORY_FILE | FILE_WRITE_THROUGH, out) &&
          (!IsExistingEntry(::GetLastError()) || attempt > 16)) {
        return LastError(target_path);
      }
    }
    // The temporary is renamed through its own handle, so it is the file just written that
    // takes the name, and the old file stays whole until then.
    if (!WriteAllBytes(out.get(), bytes) || !::FlushFileBuffers(out.get()) ||
        !RenameInto(out.get(), folder(), wide_target, true)) {
      FsStatus failure = LastError(target_path);
      MarkForDeletion(out);
      return failure;
    }
    if (!out.Close()) return LastError(target_path);
    return {};
  }

 private:
  // Makes the newly opened subfolder `handle` (below the anchor) a Directory of its own.
  FsStatus Adopt(const std::string& path, Handle handle, std::unique_ptr<Directory>& opened) {
    FileId id;
    if (FsStatus checked = CheckFolder(handle, path, id); !checked) return checked;
    opened = std::make_unique<Win32Directory>(
        path, std::make_shared<const Handle>(std::move(handle)), anchor_, id);
    return {};
  }

  // The path of this folder's parent below the anchor, from the names the file system gives
  // both of them now; empty when the parent is the anchor itself. No drive letter takes part.
  bool ParentBelowAnchor(std::wstring& below) const {
    std::wstring own;
    std::wstring anchor;
    if (!VolumePathOf(folder(), own) || !VolumePathOf(anchor_->get(), anchor)) return false;
    while (!anchor.empty() && anchor.back() == L'\\') anchor.pop_back();
    const std::size_t last = own.find_last_of(L'\\');
    if (last != std::wstring::npos) own.resize(last);
    if (last == std::wstring::npos || !StartsWithIgnoringCase(own, anchor) ||
        (own.size() > anchor.size() && own[anchor.size()] != L'\\')) {
      ::SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    below = own.substr(std::min(own.size(), anchor.size() + 1));
    return true;
  }

  FsStatus Remove(std::string_view name, ULONG kind) {
    const std::string path = JoinPath(path_, name);
    std::wstring wide;
    if (FsStatus converted = WideName(name, path, wide); !converted) return converted;
    return RemoveEntry(folder(), wide, path, kind);
  }

  // Removes what builds killed before they could rename their temporary file left beside `name`.
  void RemoveStaleTemporaries(std::string_view name) {
    for (const std::string& leftover : StaleTemporaries(*this, name)) {
      Remove(leftover, FILE_NON_DIRECTORY_FILE);
    }
  }

  std::string path_;
  SharedHandle handle_;
  SharedHandle anchor_;
  FileId id_;
  Handle lock_{INVALID_HANDLE_VALUE};  // held while this folder is locked for a build
};

}  // namespace

FsStatus OpenFolder(const std::string& path, bool follow, std::unique_ptr<Directory>& opened) {
  Handle handle(INVALID_HANDLE_VALUE);
  FileId id;
  if (FsStatus status = OpenFolderHandle(path, follow, handle, id); !status) return status;
  // The folder the caller pointed us to: everything below it is reached through this handle.
  auto shared = std::make_shared<const Handle>(std::move(handle));
  opened = std::make_unique<Win32Directory>(AsFolderPath(path), shared, shared, id);
  return {};
}

}  // namespace talvex::platform::win32
