// What the Win32 file system and its directory handles share: error statuses, path forms for
// the API, handles that close themselves, attributes, and the folder listing.
#pragma once

#include "platform/win32/windows_api.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace talvex::platform::win32 {

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

std::string SystemMessage(DWORD code);
FsStatus ErrorStatus(DWORD code, const std::string& path);
FsStatus LastError(const std::string& path);
bool StartsWith(const std::wstring& text, std::wstring_view prefix);
std::wstring ApiPath(const std::wstring& path);
FsStatus Widen(const std::string& path, std::wstring& wide);
std::uint32_t AttributesOf(DWORD attributes);
bool IsDotOrDotDot(const wchar_t* name);
bool IsNotFound(DWORD error);
bool PassesFilter(std::uint32_t attributes, std::uint32_t filter);
HANDLE FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data);
HANDLE OpenForQuery(const std::wstring& path);
bool ReadAttributes(const std::wstring& wide, DWORD& attributes, DWORD& error);
std::wstring WithoutExtendedPrefix(std::wstring path);
bool IsBareDrive(const std::wstring& path);
bool FullPathOf(const std::wstring& path, std::wstring& full);
bool FinalPathOf(const Handle& entry, std::wstring& final_path);
std::wstring JoinWide(std::wstring head, const std::wstring& tail);
FsStatus QueryAttributesOf(const std::string& path, std::uint32_t& attributes);
FsStatus EmptyOrNotADirectory(const std::string& path);
FsStatus ListFolder(const std::string& path, std::uint32_t filter, const ListVisitor& visit);
std::string AsFolderPath(std::string path);
FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info);

// Windows file times (100 ns units since 1601) and ours (nanoseconds since 1970).
inline constexpr std::int64_t kWindowsEpochTicks = 116444736000000000;
inline FileTime FileTimeOf(std::int64_t ticks) {
  return (ticks - kWindowsEpochTicks) * 100;
}
inline FILETIME WindowsFileTimeOf(FileTime time) {
  const auto ticks = static_cast<std::uint64_t>(time / 100 + kWindowsEpochTicks);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace talvex::platform::win32
