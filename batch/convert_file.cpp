#include "quorvel/batch/convert_file.hpp"

#include <optional>

#include <new>

#include "quorvel/engine/errors.hpp"
#include "quorvel/batch/messages.hpp"

namespace quorvel::batch {

OutcomeGroup GroupOf(FileOutcome::Kind kind) noexcept {
    switch (kind) {
    case FileOutcome::Kind::Converted:
    case FileOutcome::Kind::Copied: return OutcomeGroup::Converted;
    case FileOutcome::Kind::Refused:
    case FileOutcome::Kind::Malformed:
    case FileOutcome::Kind::TooLarge: return OutcomeGroup::Refused;
    case FileOutcome::Kind::Skipped:
    case FileOutcome::Kind::Declined: return OutcomeGroup::Skipped;
    case FileOutcome::Kind::Failed: break;
    }
    return OutcomeGroup::Failed;
}

FileOutcome DeclinedOutcome(std::string_view displayName) {
    return {FileOutcome::Kind::Declined, -1, FormatMessage(SkippedPattern, {displayName})};
}

std::string ErrorText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Out of memory";
    return error.what();
}

FileOutcome FailedOutcome(std::string_view displayName, const std::exception& error) {
    return {FileOutcome::Kind::Failed, -1, FormatMessage("%s - %s", {displayName, ErrorText(error)}), true};
}

FileOutcome ConvertFile(BatchKind kind, const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                        const std::string& displayName, EngineCalls& engine, bool replaceAgreed) {
    const BatchKindRow& row = Row(kind);
    int code;
    try {
        code = (engine.*row.convert)(inputPath, outputPath);
    } catch (const engine::MalformedFile& e) {
        return {FileOutcome::Kind::Malformed, -1, FormatMessage("%s - %s", {displayName, e.what()})};
    } catch (const engine::FileTooLarge& e) {
        return {FileOutcome::Kind::TooLarge, -1, FormatMessage("%s - %s", {displayName, e.what()})};
    }
    if (code == 0) return {FileOutcome::Kind::Converted, 0, FormatMessage(row.successPattern, {displayName})};
    if (code == row.copyCode) {
        // The input goes under the new name unchanged, over an existing file only when the
        // user agreed to replace it.
        const std::optional<std::string> reason = replaceAgreed ? engine.CopyFileReplacing(inputPath, outputPath)
                                                                : engine.CopyFileFailIfExists(inputPath, outputPath);
        if (reason) return {FileOutcome::Kind::Failed, code, FormatMessage("%s - %s", {displayName, *reason})};
        return {FileOutcome::Kind::Copied, code, FormatMessage(row.successPattern, {displayName})};
    }
    return {FileOutcome::Kind::Refused, code, FormatMessage("%s - %s", {displayName, ResultText(row, code)})};
}

}  // namespace quorvel::batch
