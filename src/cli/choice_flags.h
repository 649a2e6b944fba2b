// The command line's choice flags: which flag ticks or types which field of the record.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "options/applications.h"
#include "options/build_options.h"

namespace talvex::cli {

// A choice flag ticks (--NAME) or unticks (--no-NAME) one box, as a click in the window would.
struct CheckFlag {
  std::string_view flag;
  options::CheckField field = nullptr;
};

namespace flags_detail {
using options::BuildOptions;

// The boxes before and after the applications, whose flags come from the applications' table.
inline constexpr CheckFlag kBeforeApplications[] = {
    {"nfs-udp", &BuildOptions::CheckUDP}, {"nfs", &BuildOptions::ChNfs},
    {"smb", &BuildOptions::Chsmb},        {"ftp", &BuildOptions::Chftp},
    {"ssh", &BuildOptions::Chssh},        {"telnet", &BuildOptions::Chtelnet},
    {"upnp", &BuildOptions::Chupnp},      {"mouse-keyboard", &BuildOptions::ChRey},
    {"wifi", &BuildOptions::Chwifi},
};
inline constexpr CheckFlag kAfterApplications[] = {
    {"copy-to-tv", &BuildOptions::Chcopi},
    {"auto-start", &BuildOptions::Chavto},
};
inline constexpr std::size_t kCheckFlagCount =
    std::size(kBeforeApplications) + options::kApplications.size() + std::size(kAfterApplications);
}  // namespace flags_detail

// In the order the choices are applied, one the window allows: a settings box before the box
// that may lock its group, and "Copy in TV automatically" before "Auto Start", which only it
// unlocks.
inline constexpr std::array<CheckFlag, flags_detail::kCheckFlagCount> kCheckFlags = [] {
  std::array<CheckFlag, flags_detail::kCheckFlagCount> all{};
  std::size_t next = 0;
  for (const CheckFlag& flag : flags_detail::kBeforeApplications) all.at(next++) = flag;
  for (const options::Application& app : options::kApplications) {
    all.at(next++) = {app.flag, app.box};
  }
  for (const CheckFlag& flag : flags_detail::kAfterApplications) all.at(next++) = flag;
  return all;
}();

// A choice flag that types a text field. The settings are typed while their groups are still
// editable, before any box is clicked.
struct TextFlag {
  std::string_view flag;
  options::TextField field;
  std::string_view value_name;
};

inline constexpr std::array<TextFlag, 4> kTextFlags = {{
    {"nfs-ip", &options::BuildOptions::TextIP, "ADDR"},
    {"smb-ip", &options::BuildOptions::TexSMBip, "ADDR"},
    {"smb-share", &options::BuildOptions::TexSMBsh, "NAME"},
    {"smb-login", &options::BuildOptions::TexSMBlog, "NAME"},
}};

inline constexpr std::string_view kPasswordFileFlag = "smb-password-file";
inline constexpr options::TextField kPasswordField = &options::BuildOptions::TexSMBpas;

// The flag of a box. Every check field has one.
const CheckFlag& CheckFlagFor(options::CheckField field);

// Whether the flag's field takes only what the window's address filter lets through.
bool IsAddress(const TextFlag& flag);

std::string Dashed(std::string_view flag);

// "--arfix2 (ArFix2)": how a refusal names a choice.
std::string Named(const CheckFlag& flag);

}  // namespace talvex::cli
