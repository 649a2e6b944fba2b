#include "ui/win32/ui_services.h"

#include <shellapi.h>
#include <winnetwk.h>

#include <cwctype>

#include "platform/drives.h"
#include "platform/process.h"
#include "platform/win32/quiet_drive_errors.h"
#include "platform/win32/utf.h"
#include "ui/drive_entry.h"
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

// The lower-case drive letter of a folder that a call of `length` characters (0 on failure, more
// than the buffer when it did not fit) put into `folder`; 0 for a UNC folder.
char LetterOfFolder(const wchar_t* folder, DWORD length) {
  if (length < 2 || length > MAX_PATH || folder[1] != L':' || !std::iswalpha(folder[0])) return 0;
  return static_cast<char>(std::towlower(folder[0]));
}

}  // namespace

std::optional<platform::FileId> DriveIdentityOf(char letter) {
  if (letter < 'a' || letter > 'z') return std::nullopt;
  const platform::win32::QuietDriveErrors quiet;
  return platform::DriveIdentity(platform::NativeFileSystem(), std::string{letter, ':'});
}

char WindowsDriveLetter() {
  wchar_t folder[MAX_PATH + 1] = {};
  return LetterOfFolder(folder, GetWindowsDirectoryW(folder, MAX_PATH + 1));
}

std::vector<std::string> LogicalDriveEntries() {
  const platform::win32::QuietDriveErrors quiet;
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
  return entries;
}

char CurrentDriveLetter() {
  wchar_t folder[MAX_PATH + 1] = {};
  return LetterOfFolder(folder, GetCurrentDirectoryW(MAX_PATH + 1, folder));
}

UiServices DefaultUiServices() {
  UiServices services;
  services.file_system = &platform::NativeFileSystem();
  services.source_root = platform::ExecutableFolder();
  services.decimal_separator = platform::DecimalSeparator();
  services.list_drives = LogicalDriveEntries;
  services.current_drive_letter = CurrentDriveLetter;
  services.drive_identity = DriveIdentityOf;
  services.windows_drive_letter = WindowsDriveLetter;
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

std::string NotepadCommandLine(const std::string& file) {
  return "notepad.exe " + file;
}

}  // namespace talvex::ui::win32
