/* Keeps Wine's desktop process alive while the Windows test suites run. Wine ends its desktop
   after a while without windows and starts it again inside the next program that needs one;
   restarted inside a test, it would inherit the test runner's output pipe and hold it open. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  GetDesktopWindow();
  for (;;) Sleep(INFINITE);
}
