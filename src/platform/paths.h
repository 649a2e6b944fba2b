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

// `folder` + `name` with one native separator between them (none added when `folder` already
// ends in one): the path of an entry listed in `folder`.
std::string JoinPath(std::string_view folder, std::string_view name);

// `folder` without separators at its end, except the one of a root ("/", "e:\\"); on Windows
// both '\\' and '/' count, and the colon of a bare drive ("e:") is kept as it is.
std::string WithoutTrailingSeparators(std::string folder);

// The folder that holds the entry `path` names, separators at its end ignored: "/a/b" -> "/a",
// "/a" -> "/", "e:\\a" -> "e:\\" (a drive's root keeps its separator: "e:" alone is the drive's
// current folder to the system). Empty for a bare name and for a root, which nothing holds here.
// On Windows '/' counts as a separator too.
std::string ParentFolder(std::string_view path);

// The last level of `path`, separators at its end ignored: "/a/b/" -> "b"; a bare name itself.
std::string LastName(std::string_view path);

// Converts a backslash-form relative constant to the native form.
std::string NativeRelative(std::string_view relative);

}  // namespace talvex::platform
