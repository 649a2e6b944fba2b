// Conversion between the UTF-8 texts used everywhere inside the program and the UTF-16 texts of
// the wide-character Win32 API. Shared by the file system and the windows.
#pragma once

#include <string>
#include <string_view>

namespace talvex::platform {

// Strict conversion: false (and `wide` untouched) when `utf8` is not valid UTF-8, so that a
// damaged name never silently becomes the name of a different file.
bool TryUtf8ToWide(std::string_view utf8, std::wstring& wide);

// Lenient conversion for display texts: invalid sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

}  // namespace talvex::platform
