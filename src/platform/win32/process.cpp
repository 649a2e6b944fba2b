// The running process and the desktop, on Win32.
#include "platform/process.h"
#include "platform/paths.h"
#include "platform/temporary_files.h"

#include <string>
#include <vector>

#include "platform/win32/utf.h"
#include "platform/win32/windows_api.h"

namespace talvex::platform {

std::string ExecutableFolder() {
  // The path may be longer than MAX_PATH; the call truncates silently, so grow until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  // A program at a drive's root keeps the root's backslash: "e:\", never "e:".
  return ParentFolder(WideToUtf8(path));
}

std::string CurrentFolder() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return {};
  std::wstring folder(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, folder.data());
  if (length == 0 || length >= size) return {};
  folder.resize(length);
  return WideToUtf8(folder);
}

std::string DecimalSeparator() {
  wchar_t separator[8] = {};
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) == 0) return ".";
  return WideToUtf8(separator);
}

bool StartProgram(const std::string& command_line, int show) {
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::wstring wide = Utf8ToWide(command_line);
  std::vector<wchar_t> writable(wide.begin(), wide.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  // Nobody waits for the program: let go of it at once.
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

unsigned long CurrentProcessId() {
  return ::GetCurrentProcessId();
}

bool ProcessIsRunning(unsigned long id) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;  // someone else's
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

}  // namespace talvex::platform
