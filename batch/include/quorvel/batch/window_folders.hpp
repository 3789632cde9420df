#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::batch {

// The folder rules of the windows' folder trees, whatever the toolkit draws them with.

// True when folder is there and is a folder (a link to one followed).
bool FolderExists(const std::filesystem::path& folder);

// Where a tree goes when its folder is not there any more: the folder itself when it
// exists, else the nearest folder above it that does (its root at worst, which may itself
// be gone: a drive that was removed).
std::filesystem::path NearestExistingFolder(const std::filesystem::path& folder);

// "The folder /home/me/midi does not exist." for a folder as the window shows it.
std::string MissingFolderText(std::string_view shownFolder);

// What became of "New Folder": the folder made, or why it was not.
struct NewFolder {
    std::filesystem::path made;
    std::optional<std::string> failure;  // "Cannot make the folder \"a/b\": ..." (no folder made)
};

// Makes the folder name (UTF-8, as the user typed it; blanks around it dropped) inside
// parent. A name is refused before the file system sees it when it is empty, "." or
// "..", or names another folder (a separator; on Windows also the characters Windows
// never allows in a name, and a trailing dot or blank, which Windows would drop); a name
// already taken, and every refusal of the file system, is reported with its reason.
NewFolder MakeFolder(const std::filesystem::path& parent, std::string_view name);

}  // namespace quorvel::batch
