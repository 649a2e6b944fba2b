// What the main window shows and what each of its events does, independent of any toolkit. The
// record of options is the source of truth; a front end mirrors it into its controls after every
// event and carries out the action an event asks for.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "options/build_options.h"
#include "platform/file_system.h"

namespace talvex::ui {

// What a front end has to do after an event, beyond mirroring the record.
enum class Action {
  kNothing,
  kSwitchKeyboardLayout,  // activate US English for the program, where programs have layouts
  kOpenReadme,            // open the kit's readme (ReadmePath) with a normal, focused window
  kOpenAbout,             // disable the main window, then show the About window
  kRunBuild,              // BeginBuild has been granted: run the build, then EndBuild
};

// What a front end does for the actions an event asks for.
class WindowActions {
 public:
  // Nothing where keyboard layouts belong to the desktop session rather than to a program.
  virtual void SwitchKeyboardLayout() {}
  virtual void OpenReadme() = 0;
  virtual void OpenAbout() = 0;
  virtual void RunBuild() = 0;

 protected:
  ~WindowActions() = default;
};

// Has `actions` do what `action` asks for.
void Carry(Action action, WindowActions& actions);

// As the window sees it, a build runs from GO to its report with every control locked: the
// build reads the record on its own thread, and what the user does meanwhile is dropped.
enum class Phase { kIdle, kBuilding };

// The drive picked in the drive list, as it was when picked: GO builds onto this drive or
// nowhere, whatever the list shows by then.
struct DrivePick {
  std::string root;  // "e:", or the mount point; empty: no drive is picked
  // What the drive was when picked (platform::DriveIdentity); nothing when its root could not
  // be opened then.
  std::optional<platform::FileId> identity;
};

class MainWindowModel {
 public:
  // `drive` is the drive list's entry for the process's current drive.
  explicit MainWindowModel(std::string drive = {});

  const options::BuildOptions& options() const { return options_; }
  Phase phase() const { return phase_; }

  // The state of a check box, or nothing if `name` is not one.
  std::optional<options::CheckState> CheckOf(std::string_view name) const;
  // The text of a text box or the drive list, or nothing if `name` is neither.
  std::optional<std::string> TextOf(std::string_view name) const;

  // Whether the control takes input, its containers included: a control inside a disabled frame
  // is disabled too.
  bool IsEnabled(std::string_view name) const;

  // The user toggled a check box to `now`; the coupling rules follow. Ignored during a build.
  void CheckChanged(std::string_view name, options::CheckState now);
  // The user edited a text box (after the key filter). Ignored during a build.
  void TextChanged(std::string_view name, std::string text);
  // A drive was picked, by the user or by the list's first reading (an empty entry and pick:
  // the picked drive went away and none is picked now); nothing else changes.
  void DriveChosen(std::string entry, DrivePick pick);
  // Nothing before any drive has been picked.
  const std::optional<DrivePick>& drive_pick() const { return drive_pick_; }

  // The key filter: whether a character typed into `name` reaches the field.
  bool AcceptTyped(std::string_view name, char32_t typed) const;
  // What pasting `text` into `name` inserts: exactly what typing it could have put there.
  std::string FilterPasted(std::string_view name, std::string_view text) const;

  // A click on a control (a button, or the mouse into a text box). Asks for at most one action.
  Action Clicked(std::string_view name);

  // The re-entrancy guard. A click on GO begins the build; the front end reports its end.
  void BuildEnded();

 private:
  bool OwnEnabled(std::string_view name) const;

  options::BuildOptions options_;
  Phase phase_ = Phase::kIdle;
  std::optional<DrivePick> drive_pick_;
};

// Whether the record lets a control of the main window take input, leaving aside its containers
// and any build: a box while the box that unlocks it is ticked, a settings frame while its share
// is not unticked. The one place that decides what is enabled; it keeps no state of its own.
bool EnabledByRecord(const options::BuildOptions& record, std::string_view name);

// The readme the Description button opens: SourceRoot + "\Talvex\readme.txt", plain
// concatenation, in the system's own separators.
std::string ReadmePath(std::string_view source_root);

// The lower-case drive letter that a drive list entry or a path begins with ("e: [FLASH]",
// "C:\Kit"), or 0 when it begins with none (an empty entry, a UNC path).
char DriveLetterOf(std::string_view entry_or_path);

// One entry of the drive list with what the window found out about its drive.
struct DriveListEntry {
  std::string text;        // as the closed box shows it whole (drive_entry.h)
  std::string root;        // what a DrivePick names: "e:", or the mount point
  bool removable = false;  // a removable or USB drive: what a flash drive is
  bool holds_kit = false;  // the drive the kit folder lies on
  // What the drive is now (platform::DriveIdentity); nothing when its root cannot be opened, or
  // when the window has not read it (the Windows window reads only the picked drive's).
  std::optional<platform::FileId> identity;
};

// The entry the Windows drive list shows before any drive has been picked: the first removable
// drive that does not hold the kit, since that is the stick a user means; else the process's
// current drive (`current_letter`, 0 when it has none); else the first. Nothing when the list is
// empty.
std::optional<std::size_t> PreselectedDriveEntry(std::span<const DriveListEntry> entries,
                                                 char current_letter);

// The entry the drive list shows after it has been read again, once a drive has been picked: the
// picked drive's, while it is listed at its root with the identity it had when picked. Else
// nothing: a picked drive that went away (or was swapped for another at its root) is never
// replaced by another entry; the user picks again.
std::optional<std::size_t> ChosenDriveEntry(std::span<const DriveListEntry> entries,
                                            const DrivePick& picked);

}  // namespace talvex::ui
