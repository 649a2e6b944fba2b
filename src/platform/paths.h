// Where the core's backslash-form payload constants ("\Talvex\etc\init.d") become native paths.
#pragma once

#include <string>
#include <string_view>

namespace talvex::platform {

// The separator of native paths: '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

// Whether this platform's file names ignore letter case (Windows) or not (POSIX).
extern const bool kCaseInsensitiveNames;

// root + relative by plain concatenation, with the backslashes of `relative` turned into the
// native separator. Nothing is added or removed: "e:" + "\Talvex" is "e:\Talvex", and on POSIX
// "/media/usb" + "\Talvex" is "/media/usb/Talvex".
std::string JoinPayloadPath(std::string_view root, std::string_view relative);

// Converts a backslash-form relative constant to the native form.
std::string NativeRelative(std::string_view relative);

}  // namespace talvex::platform
