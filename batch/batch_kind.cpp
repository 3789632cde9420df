#include "quorvel/batch/batch_kind.hpp"

#include <array>

#include "quorvel/engine/conversions.hpp"

namespace quorvel::batch {
namespace {

using engine::MergeResult;
using engine::SplitResult;

// The texts of the merge's result codes, by code.
constexpr std::array<std::string_view, 4> MergeTexts = [] {
    std::array<std::string_view, 4> texts{};
    texts[static_cast<int>(MergeResult::CannotOpen)] = "Error opening file";
    texts[static_cast<int>(MergeResult::NotFormat1)] = "Not a Type 1 Midifile";
    texts[static_cast<int>(MergeResult::TooManyTracks)] = "Too many tracks encountered";
    return texts;
}();

// The texts of the split's result codes, by code.
constexpr std::array<std::string_view, 7> SplitTexts = [] {
    std::array<std::string_view, 7> texts{};
    texts[static_cast<int>(SplitResult::CannotOpen)] = "Error opening file";
    texts[static_cast<int>(SplitResult::NotFormat0)] = "Not a Type 0 Midifile";
    texts[static_cast<int>(SplitResult::Pass1NoEof)] = "Pass 1 (no EOF)";
    texts[static_cast<int>(SplitResult::Pass1BeyondEof)] = "Pass 1 (beyond EOF)";
    texts[static_cast<int>(SplitResult::Pass3NoEof)] = "Pass 3 (no EOF)";
    texts[static_cast<int>(SplitResult::Pass3BeyondEof)] = "Pass 3 (beyond EOF)";
    return texts;
}();

// The karaoke batch copies a file that is not a one-track format-0 file under the new
// name, unchanged.
constexpr std::array<BatchKindRow, 3> Rows = {{
    {BatchKind::Smf0, ".mid", "Convert to SMF 0 (.MID)", '0', "smf0", "Merge format-1 files into format 0 (.mid)",
     &EngineCalls::ConvertToType0, MergeTexts, -1, "%s converted to type 0", "Conversion Complete"},
    {BatchKind::Smf1, ".mid", "Convert to SMF 1 (.MID)", '1', "smf1", "Split format-0 files into format 1 (.mid)",
     &EngineCalls::ConvertToType1, SplitTexts, -1, "%s converted to type 1", "Operation Complete"},
    {BatchKind::Karaoke, ".kar", "Convert to Karaoke  (.KAR)", 'K', "kar",
     "Split format-0 files into karaoke files (.kar); other files are copied as .kar", &EngineCalls::ConvertToType1,
     SplitTexts, static_cast<int>(SplitResult::NotFormat0), "%s converted to karaoke", "Operation Complete"},
}};

}  // namespace

std::span<const BatchKindRow> KindRows() noexcept { return Rows; }

const BatchKindRow& Row(BatchKind kind) noexcept {
    for (const BatchKindRow& row : Rows)
        if (row.kind == kind) return row;
    return Rows.front();
}

std::string_view ResultText(const BatchKindRow& row, int code) noexcept {
    if (code < 0 || static_cast<std::size_t>(code) >= row.resultTexts.size()) return {};
    return row.resultTexts[static_cast<std::size_t>(code)];
}

std::string MnemonicCaption(const BatchKindRow& row) {
    std::string caption(row.caption);
    const std::size_t at = caption.find(row.mnemonic);
    if (at != std::string::npos) caption.insert(at, 1, '&');
    return caption;
}

}  // namespace quorvel::batch
