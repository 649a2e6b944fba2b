// Asking an empty card reader or floppy drive about its volume must not bring up the system's
// "insert a disk" box: while one of these lives, the question fails quietly instead.
#pragma once

#include "platform/win32/windows_api.h"

namespace talvex::platform::win32 {

class QuietDriveErrors {
 public:
  QuietDriveErrors() : old_mode_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~QuietDriveErrors() { SetErrorMode(old_mode_); }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  UINT old_mode_;
};

}  // namespace talvex::platform::win32
