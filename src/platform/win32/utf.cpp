#include "platform/win32/utf.h"

#include <windows.h>

#include <climits>

namespace talvex::platform {
namespace {

// The API counts in int; texts beyond that are not names or captions of any kind.
bool FitsInInt(std::size_t size) {
  return size <= static_cast<std::size_t>(INT_MAX);
}

bool ConvertToWide(std::string_view utf8, DWORD flags, std::wstring& wide) {
  if (utf8.empty()) {
    wide.clear();
    return true;
  }
  if (!FitsInInt(utf8.size())) return false;
  const int length = static_cast<int>(utf8.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  std::wstring converted(static_cast<std::size_t>(needed), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, converted.data(), needed) !=
      needed) {
    return false;
  }
  wide = std::move(converted);
  return true;
}

}  // namespace

bool TryUtf8ToWide(std::string_view utf8, std::wstring& wide) {
  return ConvertToWide(utf8, MB_ERR_INVALID_CHARS, wide);
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring wide;
  ConvertToWide(utf8, 0, wide);
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty() || !FitsInInt(wide.size())) return {};
  const int length = static_cast<int>(wide.size());
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
  return utf8;
}

}  // namespace talvex::platform
