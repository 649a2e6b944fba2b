// The record of every choice a build depends on, with the rules that keep it consistent.
// Field names are the names of the main window's controls that show them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
};

enum class FieldKind { kDrive, kCheck, kText };

// What a text field takes: anything, or only what the address key filter lets through.
enum class TextFilter { kAny, kAddress };

using CheckField = CheckState BuildOptions::*;
using TextField = std::string BuildOptions::*;

// One row of the field table: the record's member, its caption and tooltip as the window shows
// them (UTF-8, byte for byte), and the group it stands in. The one place where a field's name is
// spelled: everything else names a field by its member.
struct OptionField {
  std::string_view name;
  FieldKind kind;
  std::string_view group;
  std::string_view caption;
  std::string_view tooltip;
  CheckField check = nullptr;
  TextField text = nullptr;  // the drive list's text too
  TextFilter filter = TextFilter::kAny;
};

// As many rows as the record has members: a new application's row comes from its own table.
extern const std::span<const OptionField> kOptionFields;

// The row of the field with that name (exact, case-sensitive), if there is one.
const OptionField* FindOptionField(std::string_view name);

// The row of a member of the record. Every member has one.
const OptionField& FieldOf(CheckField member);
const OptionField& FieldOf(TextField member);

// The click rules of the check boxes, as the window applies them.
// The box a tick in `box` clears, or nullptr: the two ArFix2 variants exclude each other.
CheckField ExcludedBy(CheckField box);
// The box whose tick lets `box` take clicks, or nullptr: Auto Start needs Copy in TV, UDP needs
// NFS.
CheckField UnlockedBy(CheckField box);
// Whether `box` takes a click now: Auto Start while Copy in TV is ticked, UDP while NFS is not
// unticked. A locked box keeps its value and is still built from.
bool IsClickable(const BuildOptions& options, CheckField box);

// A click that leaves `box` at `now`, then the coupling rules. A box that takes no click now is
// left as it is and the call returns false.
bool Click(BuildOptions& options, CheckField box, CheckState now);

// Applies the coupling rules after the user changed `changed` (one of the record's members):
//  - arFix2 and arFix2cip exclude each other: changing one clears the other;
//  - Chavto is cleared when Chcopi is left not ticked.
// A change a rule makes is not a user change and sets off no rule.
void ApplyCouplingRules(BuildOptions& options, CheckField changed);

// The filter of the two address fields: a typed character is accepted only if it is a digit,
// a full stop, a space or a backspace (code 8).
bool AcceptAddressCharacter(char32_t typed);

// What typing `text` character by character into an address field leaves there (used for
// pasted text, which must not get past the key filter).
std::string FilterAddressText(std::string_view text);

// An address field's text as the build writes it: without the spaces before and after it, which
// inside the quoted value would make the television's mount fail.
std::string_view TrimmedAddress(std::string_view text);

// Whether `address` is four numbers 0-255 joined by dots, as the television's mount takes it. A
// number with a leading zero is not: the television's tools read it as octal.
bool IsIpv4Address(std::string_view address);

// The address fields, each with the box whose share file the build writes it into.
struct AddressField {
  TextField text;
  CheckField share;
};
extern const std::array<AddressField, 2> kAddressFields;

// The address fields the build would write (their share is ticked) although their text is no
// IPv4 address, in the window's order.
std::vector<TextField> ImpossibleAddresses(const BuildOptions& options);

// The first two characters of the drive list's entry: a drive letter and a colon.
std::string TargetDriveOf(std::string_view drive_list_text);

}  // namespace talvex::options
