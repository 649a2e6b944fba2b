// The slow stick's file system: every call passes through to the backing folder, reads and
// writes at the stick's pace, and every call fails with EIO once the stick is pulled.
#pragma once

#define FUSE_USE_VERSION 31
#include <fuse.h>

namespace talvex::slow_stick {

// The table fuse_main runs; its private data must be the Stick.
const fuse_operations& StickOperations();

}  // namespace talvex::slow_stick
