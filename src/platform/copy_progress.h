// How a long copy of one file keeps the caller's window alive. The build runs on the window's
// thread; a single large file can take many seconds to copy, and a window that does not repaint
// for that long is shown as not responding. The window sets a hook for the time of a build; the
// file system's copy calls it on the same thread every moment while the file is being copied,
// and the hook lets the window's pending repaints through. Without a hook nothing happens.
#pragma once

#include <functional>

namespace talvex::platform {

using CopyProgressHook = std::function<void()>;

// Whether this thread has a hook set; a copy without one is done the plain way.
bool HasCopyProgressHook();

// Calls this thread's hook, if any.
void ReportCopyProgress();

// Sets `hook` for this thread while the object lives, then restores the one before.
class ScopedCopyProgressHook {
 public:
  explicit ScopedCopyProgressHook(CopyProgressHook hook);
  ~ScopedCopyProgressHook();
  ScopedCopyProgressHook(const ScopedCopyProgressHook&) = delete;
  ScopedCopyProgressHook& operator=(const ScopedCopyProgressHook&) = delete;

 private:
  CopyProgressHook previous_;
};

}  // namespace talvex::platform
