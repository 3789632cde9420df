#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::batch {

// The batches: SMF 0 (merge), SMF 1 (split) and karaoke (split stored as .kar).
enum class BatchKind { Smf0, Smf1, Karaoke };

// The engine entry a batch runs for each file: one of EngineCalls' conversions.
using EngineEntry = int (EngineCalls::*)(const std::filesystem::path& inName, const std::filesystem::path& outName);

// Everything that tells one batch from another. Adding a batch means adding its row
// (KindRows), its engine entry on EngineCalls, and its button or subcommand.
struct BatchKindRow {
    BatchKind kind;
    std::string_view extension;                     // of its outputs: ".mid" or ".kar"
    std::string_view caption;                       // of its button: "Convert to SMF 0 (.MID)", ...
    char mnemonic;                                  // the caption's character that a window underlines
    std::string_view subcommand;                    // of quorvel-cli: "smf0", "smf1", "kar"
    std::string_view summary;                       // what the subcommand does, as its help says
    EngineEntry convert;                            // the conversion of one file
    std::span<const std::string_view> resultTexts;  // the text of each result code, by code (0 unused)
    int copyCode;                                   // a result code on which the input is copied instead; -1 for none
    std::string_view successPattern;                // "%s converted to type 0", ...
    std::string_view completionText;                // "Conversion Complete" or "Operation Complete"
};

// Every batch, in the order the windows show their buttons' captions and the command
// line its subcommands.
std::span<const BatchKindRow> KindRows() noexcept;

// The row of one batch.
const BatchKindRow& Row(BatchKind kind) noexcept;

// The text of a result code of kind's engine entry; empty for a code it does not know.
std::string_view ResultText(const BatchKindRow& row, int code) noexcept;

// The caption with '&' before its mnemonic character, as window toolkits mark it:
// "Convert to SMF &0 (.MID)".
std::string MnemonicCaption(const BatchKindRow& row);

}  // namespace quorvel::batch
