// Who made the program and where to read about it: the names on the About window's credit
// labels and the six addresses its labels open. Neutral placeholders, kept together so that a
// distributor changes them in one place. Each address is passed to the system unchanged.
#pragma once

#include <string_view>

namespace talvex::ui::about {

// A credit label: the name it shows and the address a click on it opens.
struct Credit {
  std::string_view name;
  std::string_view page;
};

// The credits, in their row: the maker (followed by a comma and a space), a contributor and two
// forum members (each followed by a comma but the last).
inline constexpr Credit kMaker{"Talvex, ", "https://example.org/talvex-auto/"};
inline constexpr Credit kContributor{"Ivan,", "https://example.org/ivan/downloads/"};
inline constexpr Credit kForumMember{"Kit,", "https://example.org/forum/members/kit/"};
inline constexpr Credit kSecondForumMember{"Fox", "https://example.org/forum/members/fox/"};

// The two useful links, each shown as its own address.
inline constexpr std::string_view kForumTopic = "https://example.org/forum/topic/1/";
// The label shows the address with its trailing space, and a click opens exactly what it shows.
inline constexpr std::string_view kProjectPage = "https://example.org/talvex/ ";

}  // namespace talvex::ui::about
