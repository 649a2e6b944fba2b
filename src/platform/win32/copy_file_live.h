// CopyFileW that keeps the calling thread's window alive while one file is copied.
#pragma once

#include "platform/win32/windows_api.h"

namespace talvex::platform {

// Copies `source` onto `target` (replacing it) like CopyFileW, and sets the thread's last error
// the same way. When the thread has a copy progress hook (copy_progress.h), the copy runs on a
// worker thread while this one calls the hook every few milliseconds until the copy ends: Wine's
// CopyFileExW never calls a progress routine, so a routine cannot be relied on for this.
BOOL CopyFileKeepingCallerLive(const wchar_t* source, const wchar_t* target);

}  // namespace talvex::platform
