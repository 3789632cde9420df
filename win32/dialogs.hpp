#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "quorvel/batch/batch_driver.hpp"

namespace quorvel::win32 {

// The replacement question: a task dialog with the question icon, text, OK and Cancel,
// and a verification check box captioned checkCaption (unchecked at first). Where the
// common controls offer no task dialog, a small dialog with the same parts stands in.
// Modal over owner (none when null); Escape and the close box answer Cancel.
batch::ReplaceAnswer AskReplace(HWND owner, const std::wstring& title, const std::wstring& text,
                                const std::wstring& checkCaption);

// Asks for the name of a new folder: title, the prompt above an edit that holds
// proposed, selected, and OK / Cancel. The name typed, as typed, or nothing on Cancel.
std::optional<std::wstring> AskFolderName(HWND owner, const std::wstring& title, const std::wstring& prompt,
                                          const std::wstring& proposed);

}  // namespace quorvel::win32
