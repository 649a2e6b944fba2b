// The end of a build as the Linux window shows it: a refusal, or the report in a message box
// whose Yes closes the program.
#pragma once

#include "engine/session.h"

class QWidget;

namespace talvex::ui::qt {

// Shows `result` as a modal box over `window` and carries out the answer's side effects: on Yes
// the PVR settings file opens in the desktop's editor when `pvr` is ticked. A report that names
// only the first failures keeps all of them in the box's details. Returns whether the program
// should close; a refused build shows why, and never closes.
bool ShowResult(QWidget* window, const build::SessionResult& result);

}  // namespace talvex::ui::qt
