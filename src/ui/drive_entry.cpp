#include "ui/drive_entry.h"

#include <cctype>

#include "platform/paths.h"
#include "ui/progress_figures.h"
#include "ui/window_texts.h"

namespace talvex::ui {

namespace {

constexpr std::string_view kEllipsis = "\u2026";
constexpr std::string_view kLabelOpens = " [";
constexpr std::string_view kLabelCloses = "]";

// `bytes`, or fewer so that the first `bytes` of `text` end with a whole UTF-8 character.
std::size_t WholeCharactersIn(std::string_view text, std::size_t bytes) {
  while (bytes > 0 && bytes < text.size() &&
         (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
    --bytes;
  return bytes;
}

}  // namespace

std::string DriveEntryText(char letter, std::string_view label, std::string_view network_path) {
  std::string entry{static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), ':'};
  const std::string_view named = !network_path.empty() ? network_path : label;
  if (!named.empty()) {
    entry += std::string(kLabelOpens) + std::string(named) + std::string(kLabelCloses);
  }
  return entry;
}

EntryParts WindowsEntryParts(std::string_view entry) {
  constexpr std::size_t kLetter = 2;  // "e:"
  if (entry.size() < kLetter + kLabelOpens.size() + kLabelCloses.size() ||
      entry.substr(kLetter, kLabelOpens.size()) != kLabelOpens || !entry.ends_with(kLabelCloses)) {
    return {std::string(entry), {}, {}, {}};
  }
  const std::size_t label_at = kLetter + kLabelOpens.size();
  return {std::string(entry.substr(0, label_at)),
          std::string(entry.substr(label_at, entry.size() - label_at - kLabelCloses.size())),
          std::string(kLabelCloses), {}};
}

EntryParts VolumeEntryParts(std::string_view label, std::string_view mount_point,
                            std::uint64_t size_bytes, std::string_view decimal_separator) {
  EntryParts parts;
  parts.label = label.empty() ? platform::LastName(mount_point) : std::string(label);
  if (size_bytes != 0) {
    parts.detail = std::string(kFigureSeparator) + ByteSizeText(size_bytes, decimal_separator);
  }
  return parts;
}

std::string VolumeLocation(std::string_view mount_point, std::string_view device) {
  std::string location(mount_point);
  if (!device.empty()) location += " (" + std::string(device) + ")";
  return location;
}

std::string FitEntry(const EntryParts& parts, int width,
                     const std::function<int(std::string_view)>& measure) {
  const std::string whole = parts.Whole();
  if (parts.label.empty() || measure(whole) <= width) return whole;
  const std::string without_detail = parts.head + parts.label + parts.tail;
  if (measure(without_detail) <= width) return without_detail;
  // From the most of the label kept down: the first that fits, however little.
  for (std::size_t kept = WholeCharactersIn(parts.label, parts.label.size() - 1);;
       kept = WholeCharactersIn(parts.label, kept - 1)) {
    const std::string shown =
        parts.head + parts.label.substr(0, kept) + std::string(kEllipsis) + parts.tail;
    if (kept == 0 || measure(shown) <= width) return shown;
  }
}

}  // namespace talvex::ui
