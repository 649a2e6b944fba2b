// Long file work that keeps the calling thread's window alive.
#pragma once

#include <functional>

#include "platform/win32/windows_api.h"

namespace talvex::platform {

// Runs `call` (a copy, a flush: one file's work that may take seconds) and hands back its result
// and the thread's last error as it left them. When the thread has a copy progress hook
// (copy_progress.h), `call` runs on a worker thread while this one calls the hook every few
// milliseconds until it ends: Wine's CopyFileExW never calls a progress routine, and a flush has
// none at all, so a routine cannot be relied on for this.
BOOL CallKeepingCallerLive(const std::function<BOOL()>& call);

}  // namespace talvex::platform
