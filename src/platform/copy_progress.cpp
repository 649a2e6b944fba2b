#include "platform/copy_progress.h"

#include <utility>

namespace talvex::platform {

namespace {
// Per thread: the hook pumps the messages of the thread that set it, and only that thread may.
thread_local CopyProgressHook t_hook;
}  // namespace

bool HasCopyProgressHook() {
  return static_cast<bool>(t_hook);
}

void ReportCopyProgress() {
  if (t_hook) t_hook();
}

ScopedCopyProgressHook::ScopedCopyProgressHook(CopyProgressHook hook)
    : previous_(std::exchange(t_hook, std::move(hook))) {}

ScopedCopyProgressHook::~ScopedCopyProgressHook() {
  t_hook = std::move(previous_);
}

}  // namespace talvex::platform
