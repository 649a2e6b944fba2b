#include "ui/win32/subclass.h"

#include <atomic>

namespace talvex::ui::win32 {

namespace {
std::atomic<std::ptrdiff_t> subclasses_on{0};
}  // namespace

void BeginSubclass(HWND control, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
  if (SetWindowSubclass(control, proc, id, data)) ++subclasses_on;
}

LRESULT EndSubclass(HWND control, SUBCLASSPROC proc, UINT_PTR id, WPARAM wparam, LPARAM lparam) {
  if (RemoveWindowSubclass(control, proc, id)) --subclasses_on;
  return DefSubclassProc(control, WM_NCDESTROY, wparam, lparam);
}

std::ptrdiff_t SubclassesOn() {
  return subclasses_on.load();
}

}  // namespace talvex::ui::win32
