#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quorvel::batch {

// Title of the application, of its main window, of its plain message boxes and of its
// error reports.
inline constexpr std::string_view ApplicationTitle = "Quorvel";

// Final message of a batch with no file to convert.
inline constexpr std::string_view NoFilesSelectedText = "No Files Selected";

// A file the user declined to replace with its own output, as the results list shows it.
inline constexpr std::string_view SkippedPattern = "%s - not replaced, skipped";

// Final message of a batch ended by "Stop": files done, files selected.
inline constexpr std::string_view StoppedPattern = "Stopped after %s of %s files";

// Last line of the results list of a batch that a file error ended: files done, files selected.
inline constexpr std::string_view EndedPattern = "Ended after %s of %s files";

// A batch that ended before its last file: the line of each file it did not try, the
// count of those files, and the line that names the first of them.
inline constexpr std::string_view NotTriedPattern = "%s - not tried";
inline constexpr std::string_view NotTriedCountPattern = ", %s not tried";
inline constexpr std::string_view FirstNotTriedPattern = "First file not tried: %s";

// Added to the final box of a batch that showed many per-file boxes.
inline constexpr std::string_view OneListHintText =
    "Options > Show Results in One List gathers these messages in one window.";

// The check box of the replacement question: its answer then holds for the rest of the batch.
inline constexpr std::string_view SameForRemainingCaption = "Do the same for the remaining files";

// A folder of the window that is not there any more (removed or renamed meanwhile).
inline constexpr std::string_view MissingFolderPattern = "The folder %s does not exist.";

// Making a new output folder: the command, the name proposed, the question and the
// report of a name the file system refuses.
inline constexpr std::string_view NewFolderCaption = "New Folder...";
inline constexpr std::string_view NewFolderName = "New Folder";
inline constexpr std::string_view NewFolderPrompt = "Name of the new folder in %s:";
inline constexpr std::string_view NewFolderFailedPattern = "Cannot make the folder \"%s\": %s.";

// Reading both folder trees and the file list again.
inline constexpr std::string_view RefreshCaption = "Refresh";

// Texts of the progress window: files done of files selected, and its button.
inline constexpr std::string_view ProgressPattern = "%s of %s files";
inline constexpr std::string_view StopCaption = "Stop";

// The filter of a window's file list: description and mask, alternating.
inline constexpr std::string_view MidiFileFilter = "Midi Files (*.mid)|*.mid|Karaoke Files (*.kar)|*.kar";

// The Options menu item that gathers a batch's results in one window.
inline constexpr std::string_view ResultsInOneListCaption = "Show Results in One List";

// Texts of the results window: the counts and its buttons.
inline constexpr std::string_view CountsPattern = "%s converted, %s refused, %s failed";
inline constexpr std::string_view SkippedCountPattern = ", %s skipped";
inline constexpr std::string_view CopyCaption = "Copy";
inline constexpr std::string_view SaveCaption = "Save...";
inline constexpr std::string_view CloseCaption = "Close";
// The name the Save dialog of the results window proposes, in the output folder.
inline constexpr std::string_view ResultsFileName = "quorvel-results.txt";

// Captions of the main window's menus, group boxes and buttons, "&" before the mnemonic
// letter, as both windows show them.
inline constexpr std::string_view OptionsMenuCaption = "&Options";
inline constexpr std::string_view PromptBetweenFilesCaption = "Prompt &After Each File";
inline constexpr std::string_view PromptBeforeOverwritingCaption = "Prompt &Before Overwriting Files";
inline constexpr std::string_view ResultsInOneListMenuCaption = "Show &Results in One List";
inline constexpr std::string_view ViewMenuCaption = "&View";
inline constexpr std::string_view RefreshMenuCaption = "&Refresh";
inline constexpr std::string_view NewFolderMenuCaption = "&New Folder...";
inline constexpr std::string_view HelpMenuCaption = "&Help";
inline constexpr std::string_view AboutMenuCaption = "&About...";
inline constexpr std::string_view InputGroupCaption = "&Input File(s)";
inline constexpr std::string_view OutputGroupCaption = "O&utput Directory";
inline constexpr std::string_view SelectAllCaption = "&Select all";
inline constexpr std::string_view ExitCaption = "E&xit";

// The About text: four lines separated by single carriage returns (no line feeds),
// six carriage returns in all.
std::string AboutText();

// Fills each "%s" of pattern, in order, with the next argument.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace quorvel::batch
