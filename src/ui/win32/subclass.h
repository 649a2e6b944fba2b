// Subclassing a control for the life of its window. The subclass is taken off with the very id it
// was put on with: one taken off under another id stays on a destroyed window's chain.
#pragma once

#include "platform/win32/windows_api.h"

#include <commctrl.h>

#include <cstddef>

namespace talvex::ui::win32 {

// Puts `proc` on `control` under `id`, handing it `data` with every message.
void BeginSubclass(HWND control, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);

// For `proc` to call on WM_NCDESTROY with the id it was given: takes the subclass off and passes
// the message on.
LRESULT EndSubclass(HWND control, SUBCLASSPROC proc, UINT_PTR id, WPARAM wparam, LPARAM lparam);

// How many subclasses BeginSubclass put on that EndSubclass has not taken off; none once their
// controls are destroyed.
std::ptrdiff_t SubclassesOn();

}  // namespace talvex::ui::win32
