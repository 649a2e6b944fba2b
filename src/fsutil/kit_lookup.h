// Finding a kit file whose name on disk differs in letter case from the tables. A kit unpacked
// from a Windows archive onto a case-sensitive file system keeps whatever case the archive had
// ("talvex\ETC\rc.sysinit"), and the television does not care; the build should not either.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace talvex::fsutil {

// The native path of the entry `relative` (a payload constant such as "\Talvex\etc\rcTVX") below
// the kit folder `root`. Where file names ignore case this is the plain join. Elsewhere the
// exact spelling wins when it exists; otherwise each level, left to right, is looked up as
// spelled and then among its folder's entries ignoring ASCII letter case (the smallest name in
// byte order when several differ only in case). From the first level that matches nothing on,
// the rest keeps the table's spelling, so the result names where the entry would be and a copy
// from it fails as it should.
std::string FindKitPath(platform::FileSystem& fs, std::string_view root, std::string_view relative);

// The same with the platform's rule made explicit, so that the matching can be tried anywhere.
std::string FindKitPath(platform::FileSystem& fs, std::string_view root, std::string_view relative,
                        bool names_ignore_case);

// The same, as a payload constant in the kit's own spelling ("\talvex\ETC\rc.sysinit"), for
// opening it level by level below the kit folder.
std::string FindKitRelative(platform::FileSystem& fs, std::string_view root,
                            std::string_view relative);
std::string FindKitRelative(platform::FileSystem& fs, std::string_view root,
                            std::string_view relative, bool names_ignore_case);

// `text` with its ASCII letters folded to lower case, every other byte as it was.
std::string FoldAsciiCase(std::string_view text);

// `name` with its letters folded to lower case the way a FAT32 stick compares names, for the
// scripts its names are written in here: ASCII, Latin-1 and Cyrillic (UTF-8 in, UTF-8 out).
std::string FoldCase(std::string_view name);

}  // namespace talvex::fsutil
