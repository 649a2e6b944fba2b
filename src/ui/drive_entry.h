// What the drive list says of a drive, independent of any toolkit: the entry's text in three
// parts, so that a closed box too narrow for it cuts it at the end of its label and keeps what
// must always show (the Windows drive's letter).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace talvex::ui {

struct EntryParts {
  std::string head;    // always shown: "e: [", or nothing
  std::string label;   // cut at its end when the box is too narrow
  std::string tail;    // always shown: "]", or nothing
  std::string detail;  // after the label, and the first to go when the box is too narrow
  std::string Whole() const { return head + label + detail + tail; }
};

// The Windows drive list's text for one drive: lower-case letter and colon, then " [label]" when
// the volume has a label, or the network path in brackets for a network drive.
std::string DriveEntryText(char letter, std::string_view label, std::string_view network_path);

// The parts of such an entry: "e: [" "FLASH" "]", or "e:" alone.
EntryParts WindowsEntryParts(std::string_view entry);

// A Linux volume as the closed box names it: its label, or the last name of its mount point when
// it has none, then its size when known (0: not known) as the detail: "KINGSTON · 14,9 ГБ".
EntryParts VolumeEntryParts(std::string_view label, std::string_view mount_point,
                            std::uint64_t size_bytes, std::string_view decimal_separator);

// Where that volume is, for the open list and the tooltip: "/media/user/KINGSTON (/dev/sdb1)",
// or the mount point alone for a folder that stands for a drive.
std::string VolumeLocation(std::string_view mount_point, std::string_view device);

// The entry as a closed box `width` wide shows it, `measure` giving a UTF-8 text's width: whole
// when it fits, else without its detail, else its head and tail with as much of the label as fits
// before an ellipsis. Which stick it is matters more than its size, which the open list shows.
std::string FitEntry(const EntryParts& parts, int width,
                     const std::function<int(std::string_view)>& measure);

}  // namespace talvex::ui
