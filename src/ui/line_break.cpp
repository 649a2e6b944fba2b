#include "ui/line_break.h"

namespace talvex::ui {

std::string BreakAtSpaceRun(std::string_view text, std::string_view line_break) {
  const std::size_t start = text.find("  ");
  if (start == std::string_view::npos) return std::string(text);
  std::size_t end = start;
  while (end < text.size() && text[end] == ' ') ++end;
  std::string broken(text.substr(0, start));
  broken += line_break;
  broken += text.substr(end);
  return broken;
}

}  // namespace talvex::ui
