#include "ui/main_window_model.h"

#include <cctype>
#include <span>

#include "platform/paths.h"
#include "ui/control_table.h"

namespace talvex::ui {

namespace {
using options::CheckState;

const options::OptionField* FieldOfKind(std::string_view name, options::FieldKind kind) {
  const options::OptionField* field = options::FindOptionField(name);
  return field != nullptr && field->kind == kind ? field : nullptr;
}

bool IsAddressField(std::string_view name) {
  const options::OptionField* field = FieldOfKind(name, options::FieldKind::kText);
  return field != nullptr && field->filter == options::TextFilter::kAddress;
}

// The SMB account fields take Latin names and passwords: a click into one switches the keyboard.
bool IsSmbAccountField(std::string_view name) {
  const options::OptionField* field = FieldOfKind(name, options::FieldKind::kText);
  if (field == nullptr) return false;
  const options::TextField member = field->text;
  return member == &options::BuildOptions::TexSMBsh ||
         member == &options::BuildOptions::TexSMBlog || member == &options::BuildOptions::TexSMBpas;
}
}  // namespace

MainWindowModel::MainWindowModel(std::string drive) {
  options_.Drive1 = std::move(drive);
}

std::optional<CheckState> MainWindowModel::CheckOf(std::string_view name) const {
  const options::OptionField* field = FieldOfKind(name, options::FieldKind::kCheck);
  if (field == nullptr) return std::nullopt;
  return options_.*field->check;
}

std::optional<std::string> MainWindowModel::TextOf(std::string_view name) const {
  const options::OptionField* field = options::FindOptionField(name);
  if (field == nullptr || field->text == nullptr) return std::nullopt;
  return options_.*field->text;
}

bool EnabledByRecord(const options::BuildOptions& record, std::string_view name) {
  if (const options::OptionField* box = FieldOfKind(name, options::FieldKind::kCheck)) {
    return options::IsClickable(record, box->check);
  }
  const ControlRow* row = FindControl(kMainControls, name);
  if (row == nullptr) return true;
  switch (row->role) {
    case ControlRole::kNfsSettings:
      return record.ChNfs != CheckState::kUnchecked;
    case ControlRole::kSmbSettings:
      return record.Chsmb != CheckState::kUnchecked;
    default:
      return true;
  }
}

bool MainWindowModel::OwnEnabled(std::string_view name) const {
  return phase_ == Phase::kIdle && EnabledByRecord(options_, name);
}

bool MainWindowModel::IsEnabled(std::string_view name) const {
  if (!OwnEnabled(name)) return false;
  const ControlRow* row = FindControl(kMainControls, name);
  while (row != nullptr && (row = FindControl(kMainControls, row->container)) != nullptr) {
    if (!OwnEnabled(row->name)) return false;
  }
  return true;
}

void MainWindowModel::CheckChanged(std::string_view name, CheckState now) {
  const options::OptionField* field = FieldOfKind(name, options::FieldKind::kCheck);
  if (field == nullptr || phase_ != Phase::kIdle) return;
  options::Click(options_, field->check, now);
}

void MainWindowModel::TextChanged(std::string_view name, std::string text) {
  const options::OptionField* field = FieldOfKind(name, options::FieldKind::kText);
  if (field != nullptr && phase_ == Phase::kIdle) options_.*field->text = std::move(text);
}

void MainWindowModel::DriveChosen(std::string entry, DrivePick pick) {
  options_.Drive1 = std::move(entry);
  drive_pick_ = std::move(pick);
}

bool MainWindowModel::AcceptTyped(std::string_view name, char32_t typed) const {
  return !IsAddressField(name) || options::AcceptAddressCharacter(typed);
}

std::string MainWindowModel::FilterPasted(std::string_view name, std::string_view text) const {
  return IsAddressField(name) ? options::FilterAddressText(text) : std::string(text);
}

Action MainWindowModel::Clicked(std::string_view name) {
  if (!IsEnabled(name)) return Action::kNothing;
  if (IsSmbAccountField(name)) return Action::kSwitchKeyboardLayout;
  const ControlRow* row = FindControl(kMainControls, name);
  switch (row != nullptr ? row->role : ControlRole::kNone) {
    case ControlRole::kReadme:
      return Action::kOpenReadme;
    case ControlRole::kAbout:
      return Action::kOpenAbout;
    case ControlRole::kGo:
      phase_ = Phase::kBuilding;
      return Action::kRunBuild;
    default:
      return Action::kNothing;
  }
}

void Carry(Action action, WindowActions& actions) {
  switch (action) {
    case Action::kNothing:
      break;
    case Action::kSwitchKeyboardLayout:
      actions.SwitchKeyboardLayout();
      break;
    case Action::kOpenReadme:
      actions.OpenReadme();
      break;
    case Action::kOpenAbout:
      actions.OpenAbout();
      break;
    case Action::kRunBuild:
      actions.RunBuild();
      break;
  }
}

void MainWindowModel::BuildEnded() {
  phase_ = Phase::kIdle;
}

std::string ReadmePath(std::string_view source_root) {
  return platform::JoinPayloadPath(source_root, "\\Talvex\\readme.txt");
}

char DriveLetterOf(std::string_view entry_or_path) {
  if (entry_or_path.size() < 2 || entry_or_path[1] != ':') return 0;
  const auto letter = static_cast<unsigned char>(entry_or_path[0]);
  return std::isalpha(letter) != 0 ? static_cast<char>(std::tolower(letter)) : 0;
}

std::optional<std::size_t> PreselectedDriveEntry(std::span<const DriveListEntry> entries,
                                                 char current_letter) {
  if (entries.empty()) return std::nullopt;
  auto find = [&](auto&& wanted) -> std::optional<std::size_t> {
    for (std::size_t index = 0; index < entries.size(); ++index) {
      if (wanted(entries[index])) return index;
    }
    return std::nullopt;
  };
  if (auto stick =
          find([](const DriveListEntry& entry) { return entry.removable && !entry.holds_kit; })) {
    return stick;
  }
  return find([current_letter](const DriveListEntry& entry) {
           return current_letter != 0 && DriveLetterOf(entry.text) == current_letter;
         })
      .value_or(0);
}

std::optional<std::size_t> ChosenDriveEntry(std::span<const DriveListEntry> entries,
                                            const DrivePick& picked) {
  if (picked.root.empty() || !picked.identity) return std::nullopt;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (entries[index].root == picked.root && entries[index].identity == picked.identity) {
      return index;
    }
  }
  return std::nullopt;
}

}  // namespace talvex::ui
