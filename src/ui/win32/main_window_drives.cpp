// The main window's drive list: filled from the system's drives with the stick preselected,
// read again when drives come and go, and the serials it was read with, which GO checks the
// chosen letter against.
#include <optional>
#include <string>
#include <vector>

#include "ui/win32/drive_box.h"
#include "ui/win32/main_window.h"

namespace talvex::ui::win32 {

void MainWindow::FillDriveList(HWND list) {
  const char kept = DriveLetterOf(model_.options().Drive1);
  const char kit = DriveLetterOf(services_.source_root);
  std::vector<DriveListEntry> entries;
  listed_serials_.clear();
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (std::string& text : services_.list_drives()) {
    const char letter = DriveLetterOf(text);
    const std::optional<DriveProbe> probe = services_.probe_drive(letter);
    listed_serials_[letter] = probe ? probe->serial : std::nullopt;
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    entries.push_back({std::move(text), probe && probe->removable, letter != 0 && letter == kit});
  }
  const std::optional<std::size_t> selected =
      ChosenDriveEntry(entries, kept, services_.current_drive_letter());
  SendMessageW(list, CB_SETCURSEL, selected ? *selected : static_cast<WPARAM>(-1), 0);
  model_.DriveChosen(selected ? entries[*selected].text : std::string());
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

bool MainWindow::DriveChangedSinceListed(char letter) const {
  const auto listed = listed_serials_.find(letter);
  const std::optional<DriveProbe> now = services_.probe_drive(letter);
  return listed == listed_serials_.end() || !now || now->serial != listed->second;
}

}  // namespace talvex::ui::win32
