#include "fsutil/kit_lookup.h"

#include <memory>
#include <optional>
#include <vector>

#include "platform/paths.h"

namespace talvex::fsutil {
namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::vector<std::string_view> Levels(std::string_view relative) {
  std::vector<std::string_view> levels;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('\\', start);
    if (end == std::string_view::npos) end = relative.size();
    if (end > start) levels.push_back(relative.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

bool EntryExists(platform::FileSystem& fs, const std::string& path) {
  bool exists = false;
  return fs.Exists(path, exists).ok() && exists;
}

// The name in `folder` that equals `level` ignoring case; the smallest one if there are several,
// so the choice never depends on the listing's order.
std::optional<std::string> MatchIgnoringCase(platform::FileSystem& fs, const std::string& folder,
                                             std::string_view level) {
  std::optional<std::string> match;
  fs.ListDirectory(
      folder, platform::kListEverything,
      [&](const platform::DirEntry& entry) {
        if (EqualIgnoringAsciiCase(entry.name, level) && (!match || entry.name < *match)) {
          match = std::string(entry.name);
        }
        return true;
      },
      platform::ListDetail::kTypes);
  return match;
}

}  // namespace

std::string FindKitPath(platform::FileSystem& fs, std::string_view root,
                        std::string_view relative) {
  return FindKitPath(fs, root, relative, platform::kCaseInsensitiveNames);
}

std::string FindKitPath(platform::FileSystem& fs, std::string_view root, std::string_view relative,
                        bool names_ignore_case) {
  return platform::JoinPayloadPath(root, FindKitRelative(fs, root, relative, names_ignore_case));
}

std::string FindKitRelative(platform::FileSystem& fs, std::string_view root,
                            std::string_view relative) {
  return FindKitRelative(fs, root, relative, platform::kCaseInsensitiveNames);
}

std::string FindKitRelative(platform::FileSystem& fs, std::string_view root,
                            std::string_view relative, bool names_ignore_case) {
  if (names_ignore_case || EntryExists(fs, platform::JoinPayloadPath(root, relative))) {
    return std::string(relative);
  }
  std::string found(root);
  std::string found_relative;
  bool still_matching = true;
  for (std::string_view level : Levels(relative)) {
    std::string spelled = platform::JoinPath(found, level);
    std::string_view name = level;
    std::optional<std::string> match;
    if (still_matching && !EntryExists(fs, spelled)) {
      match = MatchIgnoringCase(fs, found, level);
      if (match) {
        name = *match;
        spelled = platform::JoinPath(found, name);
      } else {
        still_matching = false;
      }
    }
    found = std::move(spelled);
    found_relative += '\\';
    found_relative += name;
  }
  return found_relative;
}

std::string FoldAsciiCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = AsciiLower(c);
  return folded;
}

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(folded[at]); };
    const unsigned char c = byte(i);
    if (c < 0x80) {
      folded[i] = AsciiLower(folded[i]);
      continue;
    }
    if (i + 1 >= folded.size()) break;
    const unsigned char next = byte(i + 1);
    // Only lead bytes of the two-byte letters below are looked at; every other byte stays.
    if (c == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97) {
      folded[i + 1] = static_cast<char>(next + 0x20);  // À..Þ -> à..þ, but not ×
    } else if (c == 0xD0 && next >= 0x90 && next <= 0x9F) {
      folded[i + 1] = static_cast<char>(next + 0x20);  // U+0410..U+041F -> U+0430..U+043F
    } else if (c == 0xD0 && next >= 0xA0 && next <= 0xAF) {
      folded[i] = static_cast<char>(0xD1);  // U+0420..U+042F -> U+0440..U+044F
      folded[i + 1] = static_cast<char>(next - 0x20);
    } else if (c == 0xD0 && next >= 0x80 && next <= 0x8F) {
      folded[i] = static_cast<char>(0xD1);  // U+0400..U+040F -> U+0450..U+045F
      folded[i + 1] = static_cast<char>(next + 0x10);
    } else {
      continue;
    }
    ++i;
  }
  return folded;
}

}  // namespace talvex::fsutil
