// The record of every choice a build depends on, with the rules that keep it consistent.
// Field names are the names of the main window's controls that show them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvex::options {

// The value of a check field. The window produces only unchecked and checked; a caller may set
// grayed, which every test in the build counts as not ticked.
enum class CheckState : std::uint8_t { kUnchecked = 0, kChecked = 1, kGrayed = 2 };

inline constexpr bool IsTicked(CheckState state) {
  return state == CheckState::kChecked;
}

struct BuildOptions {
  // The drive list's current entry: "e:", optionally followed by " [label]". Only its first two
  // characters reach the build.
  std::string Drive1;

  CheckState Chcopi = CheckState::kUnchecked;
  CheckState Chavto = CheckState::kUnchecked;
  CheckState Chftp = CheckState::kUnchecked;
  CheckState Chssh = CheckState::kUnchecked;
  CheckState Chtelnet = CheckState::kUnchecked;
  CheckState Chupnp = CheckState::kChecked;
  CheckState ChRey = CheckState::kUnchecked;
  CheckState Chwifi = CheckState::kUnchecked;
  CheckState mc = CheckState::kUnchecked;
  CheckState NetSurf = CheckState::kUnchecked;
  CheckState pvr = CheckState::kUnchecked;
  CheckState ChInfo = CheckState::kUnchecked;
  CheckState Switch = CheckState::kUnchecked;
  CheckState arFix2 = CheckState::kUnchecked;
  CheckState arFix2cip = CheckState::kUnchecked;
  CheckState ChNfs = CheckState::kChecked;
  CheckState CheckUDP = CheckState::kUnchecked;
  CheckState Chsmb = CheckState::kChecked;

  std::string TextIP = "192.168.0.1";
  std::string TexSMBip = "192.168.0.1";
  std::string TexSMBsh;
  std::string TexSMBlog = "admin";
  std::string TexSMBpas = "vortelin";

  // Editable flags. A field that is not editable keeps its value and is still built from.
  bool ChavtoEditable = false;
  bool NfsSettingsEditable = true;  // TextIP, CheckUDP
  bool SmbSettingsEditable = true;  // TexSMBip, TexSMBsh, TexSMBlog, TexSMBpas
};

enum class FieldKind { kDrive, kCheck, kText };

// One row of the field table: the record's member, its caption and tooltip as the window shows
// them (UTF-8, byte for byte), and the group it stands in.
struct OptionField {
  std::string_view name;
  FieldKind kind;
  std::string_view group;
  std::string_view caption;
  std::string_view tooltip;
  CheckState BuildOptions::*check = nullptr;
  std::string BuildOptions::*text = nullptr;
};

extern const std::array<OptionField, 24> kOptionFields;

// The row of the field with that name (exact, case-sensitive), if there is one.
const OptionField* FindOptionField(std::string_view name);

// Applies the coupling rules after the user changed `changed` (one of the record's members):
//  - arFix2 and arFix2cip exclude each other: changing one clears the other;
//  - Chavto is editable only while Chcopi is ticked, and cleared when it is not;
//  - the NFS and SMB settings groups are editable while their boxes are not unchecked.
// A change a rule makes is not a user change and sets off no rule.
void ApplyCouplingRules(BuildOptions& options, CheckState BuildOptions::*changed);

// The filter of the two address fields: a typed character is accepted only if it is a digit,
// a full stop, a space or a backspace (code 8).
bool AcceptAddressCharacter(char32_t typed);

// What typing `text` character by character into an address field leaves there (used for
// pasted text, which must not get past the key filter).
std::string FilterAddressText(std::string_view text);

// The first two characters of the drive list's entry: a drive letter and a colon.
std::string TargetDriveOf(std::string_view drive_list_text);

}  // namespace talvex::options
