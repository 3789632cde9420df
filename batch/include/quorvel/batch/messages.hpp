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

// Texts of the progress window: files done of files selected, and its button.
inline constexpr std::string_view ProgressPattern = "%s of %s files";
inline constexpr std::string_view StopCaption = "Stop";

// The Options menu item that gathers a batch's results in one window.
inline constexpr std::string_view ResultsInOneListCaption = "Show Results in One List";

// Texts of the results window: the counts and its buttons.
inline constexpr std::string_view CountsPattern = "%s converted, %s refused, %s failed";
inline constexpr std::string_view SkippedCountPattern = ", %s skipped";
inline constexpr std::string_view CopyCaption = "Copy";
inline constexpr std::string_view SaveCaption = "Save...";
inline constexpr std::string_view CloseCaption = "Close";

// The About text: four lines separated by single carriage returns (no line feeds),
// six carriage returns in all.
std::string AboutText();

// Fills each "%s" of pattern, in order, with the next argument.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace quorvel::batch
