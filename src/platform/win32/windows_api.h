// <windows.h> without the A/W macros whose names collide with our own functions (the
// file-system primitives are called DeleteFile, CreateDirectory and RemoveDirectory, the
// directory handles ReplaceFile too, and tests name a helper CopyFile;
// winbase.h still defines the 16-bit Yield(), which would rename the build observer's member).
// Win32 code of this program includes this header instead of <windows.h> and calls the wide
// functions by their W names.
#pragma once

#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef RemoveDirectory
#undef ReplaceFile
#undef Yield
