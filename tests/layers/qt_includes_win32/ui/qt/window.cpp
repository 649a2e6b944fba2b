// A Qt window that reaches into the Win32 front end: the layer check must refuse it.
#include "ui/qt/window.h"
#include "ui/win32/window.h"
