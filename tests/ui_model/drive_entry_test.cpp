#include "ui/drive_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace talvex::ui {
namespace {

// A text's width in characters (UTF-8 continuation bytes take no room).
int Characters(std::string_view text) {
  int count = 0;
  for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return count;
}

// What the drive lists show of a drive, whole and in a closed box of a given width: a Linux
// volume by its label or its folder's name and its size, cut at the end; a Windows drive by its
// letter, which always shows, and its label, cut at the label's end.
TEST(DriveEntryTest, TheClosedBoxCutsTheEntryAtTheEndOfItsLabel) {
  constexpr std::uint64_t kStick = 16'000'000'000;
  struct Case {
    const char* what;
    EntryParts parts;
    int width;
    std::string_view whole, shown;
  };
  const Case cases[] = {
      {"a label", VolumeEntryParts("KINGSTON", "/media/user/KINGSTON", kStick, ","), 30,
       "KINGSTON · 14,9 ГБ", "KINGSTON · 14,9 ГБ"},
      {"no label: the folder's name", VolumeEntryParts("", "/media/user/disk", 8ull << 30, ","), 30,
       "disk · 8,0 ГБ", "disk · 8,0 ГБ"},
      {"a folder standing for a drive, no size", VolumeEntryParts("", "/tmp/demo/drive", 0, ","), 3,
       "drive", "dr…"},
      {"a long label", VolumeEntryParts("ФЛЕШКА ДЛЯ ТЕЛЕВИЗОРА", "/media/u/F", 512ull << 20, "."),
       20, "ФЛЕШКА ДЛЯ ТЕЛЕВИЗОРА · 512 МБ", "ФЛЕШКА ДЛЯ ТЕЛЕВИЗО…"},
      {"a box for the label only", VolumeEntryParts("KINGSTON", "/m/K", kStick, ","), 10,
       "KINGSTON · 14,9 ГБ", "KINGSTON"},
      {"a narrow box", VolumeEntryParts("KINGSTON", "/m/K", kStick, ","), 6, "KINGSTON · 14,9 ГБ",
       "KINGS…"},
      {"Windows letter and label", WindowsEntryParts(DriveEntryText('T', "TV STICK 16GB", "")), 10,
       "t: [TV STICK 16GB]", "t: [TV S…]"},
      {"Windows network drive", WindowsEntryParts(DriveEntryText('X', "DATA", "\\\\server\\share")),
       40, "x: [\\\\server\\share]", "x: [\\\\server\\share]"},
      {"Windows letter alone", WindowsEntryParts(DriveEntryText('E', "", "")), 1, "e:", "e:"},
      {"Windows: the letter always shows", WindowsEntryParts("c: [Windows]"), 2, "c: [Windows]",
       "c: […]"},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(test.parts.Whole(), test.whole) << test.what;
    EXPECT_EQ(FitEntry(test.parts, test.width, Characters), test.shown) << test.what;
  }
  EXPECT_EQ(VolumeLocation("/media/user/KINGSTON", "/dev/sdb1"),
            "/media/user/KINGSTON (/dev/sdb1)");
  EXPECT_EQ(VolumeLocation("/tmp/demo/drive", ""), "/tmp/demo/drive");
}

}  // namespace
}  // namespace talvex::ui
