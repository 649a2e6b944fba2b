// Entries reached through the open handle of the folder that holds them. The native API takes
// the folder's handle and the entry's bare name, so nothing above the folder is looked up by
// name again: a drive letter given to another folder, or a folder renamed above this one,
// cannot redirect what is done in it. Failures leave the Win32 error code as the thread's last
// error, as the Win32 calls do, so callers report them with LastError.
#pragma once

#include "platform/win32/windows_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/win32/win32_support.h"

namespace talvex::platform::win32 {

// Opens the entry `name` of the open folder `folder`, or creates it: `disposition` is the
// native one (FILE_OPEN, FILE_CREATE ...), `options` the native create options
// (FILE_OPEN_REPARSE_POINT to open a link as itself, FILE_DIRECTORY_FILE,
// FILE_NON_DIRECTORY_FILE ...). The handle always does synchronous I/O and may read attributes.
// An empty name opens the folder itself once more; a relative path goes down through its levels.
bool OpenRelative(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share,
                  ULONG disposition, ULONG options, Handle& opened);

// Moves the open `entry` (opened with DELETE access) to the name `name` in the open folder
// `folder`, over an entry of that name when `replace`.
bool RenameInto(HANDLE entry, HANDLE folder, std::wstring_view name, bool replace);

// Lists the open folder through a handle of its own, so a visitor may list it again. With
// `only` the listing holds at most the entry of that name. "." and ".." are never passed on.
FsStatus ListOpenFolder(HANDLE folder, const std::string& path, std::wstring_view only,
                        const ListVisitor& visit);

// The open entry's path from the root of its volume ("\Talvex\etc"), as the file system names
// it now; no drive letter takes part in it.
bool VolumePathOf(HANDLE entry, std::wstring& path);

// The room left for this process on the volume of the open `entry`; nothing when the volume
// does not tell.
std::optional<std::uint64_t> FreeBytesOf(HANDLE entry);

}  // namespace talvex::platform::win32
