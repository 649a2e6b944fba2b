// talvex-auto.exe: shows the main window and runs until it closes.
#include "platform/win32/windows_api.h"
// After windows_api.h: they build on windows.h.
#include <commctrl.h>
#include <objbase.h>

#include "ui/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  // The taskbar progress is a COM object of the shell.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // Without its window the program has nothing to offer.
  talvex::platform::ExitStatus result = talvex::platform::ExitStatus::kNothingDone;
  if (talvex::ui::win32::MainWindow::Create(talvex::ui::win32::DefaultUiServices(), show) !=
      nullptr) {
    result = talvex::ui::win32::RunMessageLoop();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return static_cast<int>(result);
}
