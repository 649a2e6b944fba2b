// A Win32 window that reaches into the Qt front end: the layer check must refuse it.
#include "ui/qt/window.h"
#include "ui/win32/window.h"
