// Who made the program and where to read about it: the names on the About window's credit
// labels and the six addresses its labels open. Neutral placeholders, kept together so that a
// distributor changes them in one place. Each address is passed to the system unchanged.
#pragma once

#include <string_view>

namespace talvex::ui::about {

// Credit labels, in their row: the maker (followed by a comma and a space), a contributor and two
// forum members (each followed by a comma but the last).
inline constexpr std::string_view kMakerCredit = "Talvex, ";
inline constexpr std::string_view kContributorCredit = "Ivan,";
inline constexpr std::string_view kForumMemberCredit = "Kit,";
inline constexpr std::string_view kSecondForumMemberCredit = "Fox";

inline constexpr std::string_view kProgramPage = "https://example.org/talvex-auto/";
inline constexpr std::string_view kDownloadPage = "https://example.org/ivan/downloads/";
inline constexpr std::string_view kForumMemberProfile = "https://example.org/forum/members/kit/";
inline constexpr std::string_view kSecondForumMemberProfile =
    "https://example.org/forum/members/fox/";
inline constexpr std::string_view kForumTopic = "https://example.org/forum/topic/1/";
// The label shows the address with its trailing space, and a click opens exactly what it shows.
inline constexpr std::string_view kProjectPage = "https://example.org/talvex/ ";

}  // namespace talvex::ui::about
