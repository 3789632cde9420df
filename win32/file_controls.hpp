#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::win32 {

// UTF-8 text as UTF-16 and back; invalid sequences become replacement characters.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// A directory in the window's form: absolute, backslashes, ending with one only at a
// root ("C:\", "C:\MIDI", "\\server\share\").
std::wstring NormalDirectory(std::wstring_view path);

// The root of a directory in the window's form: "C:\" for "C:\MIDI\Songs".
std::wstring RootOf(std::wstring_view directory);

// The directories from the root down to directory, each in the window's form.
std::vector<std::wstring> DirectoryChain(std::wstring_view directory);

// Two directories (or two names in one folder) name the same one: letters compared
// without case, as Windows' file systems do.
bool SameName(std::wstring_view a, std::wstring_view b);

// The file list's rule for a mask: wildcard patterns ("*", "?") separated by ";",
// letters matched in any case. Unlike FindFirstFileW it never matches through a short
// name, so "*.mid" does not list "song.midi".
bool MatchesMask(std::wstring_view name, std::wstring_view mask);

// Throws std::runtime_error when directory cannot be listed: "Drive Q: is not ready" for
// a drive root without a medium or target, "Cannot open the directory D" otherwise.
void CheckDirectory(const std::wstring& directory);

// The plain files of directory (neither hidden nor system) whose names match mask,
// sorted by name without regard to case. Empty when the directory cannot be listed.
std::vector<std::wstring> ListFiles(const std::wstring& directory, std::wstring_view mask);

// The subdirectories of directory (hidden and system ones left out), sorted like
// ListFiles.
std::vector<std::wstring> Subdirectories(const std::wstring& directory);

// A drive of the drive selectors: its root ("C:\") and the text shown ("c: [System]",
// or "c:" when it has no label or is not ready).
struct Drive {
    std::wstring root;
    std::wstring text;
};

// The drives Windows reports (GetLogicalDriveStringsW), labels from their volumes. A
// drive that is not ready costs no wait and shows no system error box.
std::vector<Drive> Drives();

// The entries of a filter "description|mask|description|mask...": description and mask.
std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(std::wstring_view filter);

}  // namespace quorvel::win32
