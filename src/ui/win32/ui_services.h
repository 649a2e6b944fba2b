// Everything the windows need from outside: the file system and kit folder of the build, and the
// fire-and-forget calls to the system. The program uses DefaultUiServices(); tests replace single
// members to see the command lines and addresses the windows hand on.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace talvex::ui::win32 {

struct UiServices {
  platform::FileSystem* file_system = nullptr;
  std::string source_root;        // the kit folder: the program's own folder
  std::string decimal_separator;  // the user's locale's, for the report

  // The drive list's entries, and the letter of the process's current drive.
  std::function<std::vector<std::string>()> list_drives;
  std::function<char()> current_drive_letter;
  // What the drive of a lower-case letter is now (platform::DriveIdentity of its root); nothing
  // when no drive has that letter or its root cannot be opened.
  std::function<std::optional<platform::FileId>(char letter)> drive_identity;
  // The lower-case letter of the drive that holds the Windows folder, 0 when it cannot be told.
  std::function<char()> windows_drive_letter;

  std::function<void(const std::string& command_line, int show)> start_program;
  std::function<void(const std::wstring& layout, UINT flags)> load_keyboard_layout;
  std::function<void(HWND window, const std::string& address)> open_address;
  std::function<int(HWND owner, const std::wstring& text, const std::wstring& title, UINT style)>
      message_box;

  // Called once the main window is gone; the program ends its message loop here.
  std::function<void()> main_window_closed;
};

UiServices DefaultUiServices();

// The files the window offers (the readme, the PVR settings) open in Notepad: "notepad.exe " and
// the path, plain concatenation, no quotes, as the program has always started it.
std::string NotepadCommandLine(const std::string& file);

// The logical drives as the drive list shows them, in drive-letter order.
std::vector<std::string> LogicalDriveEntries();

// The lower-case letter of the process's current drive, or 0 when it has none (a UNC folder).
char CurrentDriveLetter();

// The identity of the drive of a lower-case letter, asked quietly (an empty card reader brings
// up no box).
std::optional<platform::FileId> DriveIdentityOf(char letter);
char WindowsDriveLetter();

}  // namespace talvex::ui::win32
