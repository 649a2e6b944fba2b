// Breaking a caption into lines where its author left room for a break.
#pragma once

#include <string>
#include <string_view>

namespace talvex::ui {

// `text` with its first run of two or more spaces replaced by `line_break`; unchanged when it has
// no such run. A caption that spaces its second part off from its first ("Автоматическая
// настройка      Talvex All Extensions.") breaks there when its label cannot wrap it as written.
std::string BreakAtSpaceRun(std::string_view text, std::string_view line_break);

}  // namespace talvex::ui
