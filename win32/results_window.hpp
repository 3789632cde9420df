#pragma once

#include <windows.h>

#include "quorvel/batch/batch_results.hpp"

namespace quorvel::win32 {

// Shows the results of a batch in one window, modal over owner: the counts, every line
// (selectable, so it can be copied in part), "Copy" for the whole text, "Save..." to
// write it to a text file (a failure is reported in an error box) and "Close". Returns
// when the window is closed. font stays the caller's; scale is 1.0 at 120 pixels per inch.
void ShowResultsWindow(HWND owner, const batch::ResultsList& results, HFONT font, double scale);

}  // namespace quorvel::win32
