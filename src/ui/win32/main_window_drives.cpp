// The main window's drive list: filled from the system's drives with the stick preselected, read
// again when drives come and go, and the drive the user picked, remembered as it was then, which
// the list keeps showing only while that drive is there.
#include <optional>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "ui/win32/drive_box.h"
#include "ui/win32/main_window.h"

namespace talvex::ui::win32 {

namespace {

std::string RootOf(char letter) {
  return letter != 0 ? std::string{letter, ':'} : std::string();
}

}  // namespace

void MainWindow::FillDriveList(HWND list) {
  const std::optional<DrivePick> picked = model_.drive_pick();
  const char kit = DriveLetterOf(services_.source_root);
  std::vector<DriveListEntry> entries;
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (std::string& text : services_.list_drives()) {
    const char letter = DriveLetterOf(text);
    DriveListEntry entry{std::move(text), RootOf(letter), false, letter != 0 && letter == kit, {}};
    entry.removable = platform::DescribeDrive(entry.root).removable;
    // Only the picked drive is asked what it is: a network drive whose server is away can keep
    // the question waiting for many seconds, on every drop-down.
    if (picked && entry.root == picked->root) entry.identity = services_.drive_identity(letter);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry.text).c_str()));
    entries.push_back(std::move(entry));
  }
  const std::optional<std::size_t> selected =
      picked ? ChosenDriveEntry(entries, *picked)
             : PreselectedDriveEntry(entries, services_.current_drive_letter());
  SendMessageW(list, CB_SETCURSEL, selected ? *selected : static_cast<WPARAM>(-1), 0);
  if (!picked) {
    if (selected) PickDrive(entries[*selected].text);
  } else if (selected) {
    model_.DriveChosen(entries[*selected].text, *picked);
  } else {
    model_.DriveChosen({}, {});  // the picked drive went away: none is picked until the user picks
  }
}

void MainWindow::PickDrive(std::string text) {
  const char letter = DriveLetterOf(text);
  DrivePick pick{RootOf(letter), services_.drive_identity(letter)};
  model_.DriveChosen(std::move(text), std::move(pick));
}

void MainWindow::RefreshDriveList() {
  HWND list = DriveList();
  if (list == nullptr) return;
  // The build has taken its drive already; the list it was chosen from stays until it ends.
  if (model_.phase() != Phase::kIdle) {
    drive_list_stale_ = true;
    return;
  }
  ReadDrivesAgain(list);
}

void MainWindow::ReadDrivesAgain(HWND list) {
  drive_list_stale_ = false;
  FillDriveList(list);
  FitDropDownWidth(list, dpi());
}

}  // namespace talvex::ui::win32
