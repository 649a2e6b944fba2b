#include "ui/win32/ui_services.h"

#include <shellapi.h>
#include <winnetwk.h>

#include <cwctype>

#include "platform/process.h"
#include "platform/win32/utf.h"
#include "ui/main_window_model.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

namespace {

std::string VolumeLabel(const std::wstring& root) {
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                             0)) {
    return {};
  }
  return platform::WideToUtf8(label);
}

std::string NetworkPath(wchar_t letter) {
  const wchar_t local[] = {letter, L':', L'\0'};
  wchar_t remote[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH + 1;
  if (WNetGetConnectionW(local, remote, &size) != NO_ERROR) return {};
  return platform::WideToUtf8(remote);
}

}  // namespace

std::vector<std::string> LogicalDriveEntries() {
  // Asking an empty card reader or floppy drive for its label must not bring up the system's
  // "insert a disk" box.
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  std::vector<std::string> entries;
  const DWORD drives = GetLogicalDrives();
  for (int index = 0; index < 26; ++index) {
    if ((drives & (1u << index)) == 0) continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + index);
    const std::wstring root{letter, L':', L'\\'};
    const bool remote = GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
    entries.push_back(DriveEntryText(static_cast<char>('a' + index),
                                     remote ? std::string() : VolumeLabel(root),
                                     remote ? NetworkPath(letter) : std::string()));
  }
  SetErrorMode(old_mode);
  return entries;
}

char CurrentDriveLetter() {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, folder);
  if (length < 2 || length > MAX_PATH || folder[1] != L':' || !std::iswalpha(folder[0])) return 0;
  return static_cast<char>(std::towlower(folder[0]));
}

UiServices DefaultUiServices() {
  UiServices services;
  services.file_system = &platform::NativeFileSystem();
  services.source_root = platform::ExecutableFolder();
  services.decimal_separator = platform::DecimalSeparator();
  services.list_drives = LogicalDriveEntries;
  services.current_drive_letter = CurrentDriveLetter;
  services.start_program = [](const std::string& command_line, int show) {
    platform::StartProgram(command_line, show);
  };
  services.load_keyboard_layout = [](const std::wstring& layout, UINT flags) {
    LoadKeyboardLayoutW(layout.c_str(), flags);
  };
  services.open_address = [](HWND window, const std::string& address) {
    ShellExecuteW(window, nullptr, Wide(address).c_str(), nullptr, nullptr, SW_HIDE);
  };
  services.message_box = [](HWND owner, const std::wstring& text, const std::wstring& title,
                            UINT style) {
    return MessageBoxW(owner, text.c_str(), title.c_str(), style);
  };
  services.main_window_closed = [] { PostQuitMessage(0); };
  return services;
}

}  // namespace talvex::ui::win32
