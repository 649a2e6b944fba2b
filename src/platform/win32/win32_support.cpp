#include "platform/win32/win32_support.h"

#include <utility>

#include "platform/win32/utf.h"

namespace talvex::platform::win32 {

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
  std::wstring full;
  if (!FullPathOf(path, full)) return path;
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

}  // namespace talvex::platform::win32
