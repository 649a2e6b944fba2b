// The drive list's closed box: drawn by the program so that an entry too long for it is cut in
// its middle with an ellipsis ("t: [TV S…16GB]") instead of at its right edge mid-word, with the
// whole entry in its tooltip. The open list shows every entry whole and is as wide as the
// longest one.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>
#include <string_view>

namespace talvex::ui::win32 {

// The styles a drive list is created with besides the usual ones: drawn by its owner, with its
// entries kept as strings (so its text, selection and search work as in a plain list).
inline constexpr DWORD kDriveBoxStyle = CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;

// `text` cut in its middle to fit `width` as `measure` measures it: as many characters from its
// start and its end as fit around an ellipsis, the start getting the odd one. Whole when it fits.
std::wstring ElideMiddle(std::wstring_view text, int width,
                         const std::function<int(std::wstring_view)>& measure);

// Makes `list` draw its closed box elided and show `hint` as its tooltip (after the whole entry,
// while the entry is cut).
void AttachDriveBox(HWND list, std::string_view hint);

// After the list's font changed: its entries one line of that font high, as in a list the
// system draws, and its open list as wide as its longest entry at `dpi`.
void FitDriveBox(HWND list, UINT dpi);

// Draws an entry of a drive list for its owner's WM_DRAWITEM; false for other controls.
bool DrawDriveBoxItem(const DRAWITEMSTRUCT& item);

}  // namespace talvex::ui::win32
