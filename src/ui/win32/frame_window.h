// A frame: a container window with an etched border and an optional caption. Unlike a group
// box, it is the parent of the controls inside it, so disabling it takes them out of reach and
// Tab moves through them (WS_EX_CONTROLPARENT); their notifications go on to the window above.
#pragma once

#include "platform/win32/windows_api.h"

#include <optional>

namespace talvex::ui::win32 {

inline constexpr wchar_t kFrameClass[] = L"TalvexFrame";

// Sets the caption colour (a COLORREF in wParam; lParam 0 returns to the system's text colour).
inline constexpr UINT kFrameSetCaptionColour = WM_APP + 1;

void RegisterFrameClass(HINSTANCE instance);

}  // namespace talvex::ui::win32
