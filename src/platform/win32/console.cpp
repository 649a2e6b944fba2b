#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/win32/windows_api.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/utf.h"

namespace talvex::platform {

std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

ConsoleStreams::ConsoleStreams() {
  // UTF-8 bytes with LF line breaks, exactly as written; a console shows them as UTF-8.
  saved_output_code_page_ = ::GetConsoleOutputCP();
  if (saved_output_code_page_ != 0) ::SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  err_is_terminal_ = _isatty(_fileno(stderr)) != 0;
}

ConsoleStreams::~ConsoleStreams() {
  // What is still buffered goes out in the code page it was written for.
  std::fflush(stdout);
  std::fflush(stderr);
  if (saved_output_code_page_ != 0) ::SetConsoleOutputCP(saved_output_code_page_);
}

}  // namespace talvex::platform

namespace talvex::platform {
namespace {
std::atomic<bool>* g_stop = nullptr;

BOOL WINAPI AskToStop(DWORD event) {
  if (g_stop == nullptr) return FALSE;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    g_stop->store(true);
    return TRUE;
  }
  return FALSE;
}
}  // namespace

void StopOnInterrupt(std::atomic<bool>& stop) {
  g_stop = &stop;
  ::SetConsoleCtrlHandler(AskToStop, TRUE);
}

}  // namespace talvex::platform
