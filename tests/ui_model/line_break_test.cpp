#include "ui/line_break.h"

#include <gtest/gtest.h>

#include "ui/control_table.h"

namespace talvex::ui {
namespace {

TEST(BreakAtSpaceRunTest, TheAboutTitleBreaksBeforeTheProductName) {
  const ControlRow* title = FindControl(kAboutControls, "Label4");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(BreakAtSpaceRun(title->caption, "\r\n"),
            "Автоматическая настройка\r\nTalvex All Extensions.");
}

TEST(BreakAtSpaceRunTest, OnlyTheFirstRunOfSeveralSpacesBreaks) {
  EXPECT_EQ(BreakAtSpaceRun("a b  c   d", "\n"), "a b\nc   d");
  EXPECT_EQ(BreakAtSpaceRun("  lead", "\n"), "\nlead");
  EXPECT_EQ(BreakAtSpaceRun("trail  ", "\n"), "trail\n");
}

TEST(BreakAtSpaceRunTest, TextWithoutARunOfSpacesStaysAsItIs) {
  EXPECT_EQ(BreakAtSpaceRun("Talvex All Extensions.", "\n"), "Talvex All Extensions.");
  EXPECT_EQ(BreakAtSpaceRun("", "\n"), "");
}

}  // namespace
}  // namespace talvex::ui
