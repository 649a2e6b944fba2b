// talvex-build: prepares a drive from the command line, with the same build and report as the
// window. Everything but setting up the process lives in RunCommand.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/run_command.h"
#include "platform/file_system.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include "platform/win32/windows_api.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/utf.h"
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// The arguments as the user typed them, whatever the ANSI code page can express.
std::vector<std::string> Arguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(talvex::platform::WideToUtf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

// The console's own code page, given back at the end: the console outlives the program.
UINT console_code_page = 0;

bool PrepareStreams() {
  // UTF-8 bytes with LF line breaks, exactly as written; a console shows them as UTF-8.
  console_code_page = ::GetConsoleOutputCP();
  if (console_code_page != 0) ::SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  return _isatty(_fileno(stderr)) != 0;
}

void RestoreStreams() {
  if (console_code_page != 0) ::SetConsoleOutputCP(console_code_page);
}
#else
std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool PrepareStreams() {
  // The user's locale decides the report's decimal separator and the language of system
  // messages.
  std::setlocale(LC_ALL, "");
  return ::isatty(STDERR_FILENO) != 0;
}

void RestoreStreams() {}
#endif

}  // namespace

int main(int argc, char** argv) {
  const bool err_is_terminal = PrepareStreams();
  talvex::cli::Console console{std::cin, std::cout, std::cerr, err_is_terminal};
  const int status =
      talvex::cli::RunCommand(Arguments(argc, argv), console, talvex::platform::NativeFileSystem());
  std::cout.flush();
  RestoreStreams();
  return status;
}
