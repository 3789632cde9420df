#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quorvel::batch {

// Title of the application, of its main window, of its plain message boxes and of its
// error reports.
inline constexpr std::string_view ApplicationTitle = "Quorvel";

// Texts for the engine's result codes, indices 1 to 9 (entry 0 is unused). The merge's
// code C shows entry C, the split's code C shows entry C + 3.
inline constexpr std::array<std::string_view, 10> ConversionMessages = {
    "",
    "Error opening file",
    "Not a Type 1 Midifile",
    "Too many tracks encountered",
    "Error opening file",
    "Not a Type 0 Midifile",
    "Pass 1 (no EOF)",
    "Pass 1 (beyond EOF)",
    "Pass 3 (no EOF)",
    "Pass 3 (beyond EOF)",
};

// Final message of a batch with no file to convert.
inline constexpr std::string_view NoFilesSelectedText = "No Files Selected";

// The About text: four lines separated by single carriage returns (no line feeds),
// six carriage returns in all.
std::string AboutText();

// Fills each "%s" of pattern, in order, with the next argument.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace quorvel::batch
