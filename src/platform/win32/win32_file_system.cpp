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
#include "platform/win32/utf.h"

#include "platform/win32/win32_directory.h"
#include "platform/win32/win32_support.h"

namespace talvex::platform {
namespace {

using namespace win32;  // this file is the Win32 file system over those helpers

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
    std::uint32_t attributes = 0;
    FsStatus queried = QueryAttributesOf(path, attributes);
    exists = queried.ok();
    // Not found is an answer; anything else (a drive that cannot be read) is a failure.
    if (queried || IsNotFound(static_cast<DWORD>(queried.code))) return {};
    return queried;
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
    return OpenFolder(path, true, opened);
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
};

}  // namespace

FsStatus NotADirectoryStatus(const std::string& path) {
  return ErrorStatus(ERROR_DIRECTORY, path);
}

FsStatus RefusalStatus(FsReason why, const std::string& path) {
  return FsStatus{static_cast<int>(ERROR_CANCELLED), {}, path, why};
}

FsStatus RefusalStatus(std::string_view why, const std::string& path) {
  return FsStatus{static_cast<int>(ERROR_CANCELLED), std::string(why), path, FsReason::kRefused};
}

FsStatus MismatchStatus(std::string_view why, const std::string& path) {
  return FsStatus{static_cast<int>(ERROR_FILE_CORRUPT), std::string(why), path};
}

FsStatus ReadSmallFile(const std::string& path, std::size_t limit, std::string& content) {
  std::wstring wide;
  if (FsStatus converted = Widen(path, wide); !converted) return converted;
  Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return LastError(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(file.get(), &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return ErrorStatus(ERROR_DIRECTORY, path);
  }
  // A pipe or a console would make the read wait.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return RefusalStatus(kSpecialFileRefused, path);
  content.assign(limit + 1, '\0');
  std::size_t got = 0;
  while (got < content.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), content.data() + got, static_cast<DWORD>(content.size() - got),
                    &read, nullptr)) {
      return LastError(path);
    }
    if (read == 0) break;
    got += read;
  }
  content.resize(got);
  return {};
}

bool IsDeviceGone(int code) {
  switch (static_cast<DWORD>(code)) {
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_UNRECOGNIZED_VOLUME:
      return true;
    default:
      return false;
  }
}

FsReason ReasonOfCode(int code) {
  if (IsDeviceGone(code)) return FsReason::kDriveGone;
  switch (static_cast<DWORD>(code)) {
    case ERROR_GEN_FAILURE:
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_SEEK:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      return FsReason::kDeviceError;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
      return FsReason::kNotFound;
    case ERROR_ACCESS_DENIED:
      return FsReason::kAccessDenied;
    case ERROR_WRITE_PROTECT:
      return FsReason::kWriteProtected;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FsReason::kInUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FsReason::kDiskFull;
    case ERROR_FILE_TOO_LARGE:
      return FsReason::kFileTooLarge;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return FsReason::kNameNotAllowed;
    default:
      return FsReason::kSystem;
  }
}

FileSystem& NativeFileSystem() {
  static Win32FileSystem file_system;
  return file_system;
}

}  // namespace talvex::platform
