// The drive list's closed box: drawn by the program so that an entry too long for it keeps its
// letter and is cut at the end of its label with an ellipsis ("t: [TV S…]") instead of at the
// box's edge, with the whole entry in its tooltip. The open list shows every entry whole and is as
// wide as the longest one.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>
#include <string_view>

namespace talvex::ui::win32 {

// The styles a drive list is created with besides the usual ones: drawn by its owner, with its
// entries kept as strings (so its text, selection and search work as in a plain list).
inline constexpr DWORD kDriveBoxStyle = CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;

// The entry `text` as a closed box `width` wide shows it, `measure` giving a text's width: whole
// when it fits, else its letter and as much of its label as fits before an ellipsis.
std::wstring FitDriveEntry(std::wstring_view text, int width,
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
