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
    case FileOutcome::Kind::Skipped: return OutcomeGroup::Skipped;
    case FileOutcome::Kind::Failed: break;
    }
    return OutcomeGroup::Failed;
}

FileOutcome SkippedOutcome(std::string_view displayName) {
    return {FileOutcome::Kind::Skipped, -1, FormatMessage(SkippedPattern, {displayName})};
}

std::string ErrorText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Out of memory";
    return error.what();
}

FileOutcome FailedOutcome(std::string_view displayName, const std::exception& error) {
    return {FileOutcome::Kind::Failed, -1, FormatMessage("%s - %s", {displayName, ErrorText(error)})};
}

FileOutcome ConvertFile(BatchKind kind, const std::filesystem::path& inputPath,
                        const std::filesystem::path& outputPath, const std::string& displayName,
                        EngineCalls& engine) {
    const BatchTraits& traits = Traits(kind);
    int code;
    try {
        code = kind == BatchKind::Smf0 ? engine.ConvertToType0(inputPath, outputPath)
                                       : engine.ConvertToType1(inputPath, outputPath);
    } catch (const engine::MalformedFile& e) {
        return {FileOutcome::Kind::Malformed, -1, FormatMessage("%s - %s", {displayName, e.what()})};
    } catch (const engine::FileTooLarge& e) {
        return {FileOutcome::Kind::TooLarge, -1, FormatMessage("%s - %s", {displayName, e.what()})};
    }
    if (code == 0)
        return {FileOutcome::Kind::Converted, 0, FormatMessage(traits.successPattern, {displayName})};
    if (kind == BatchKind::Karaoke && code == 2) {
        // Not a one-track format-0 file: it goes under the new name unchanged, and
        // never over an existing file.
        if (const std::optional<std::string> reason = engine.CopyFileFailIfExists(inputPath, outputPath))
            return {FileOutcome::Kind::Failed, code, FormatMessage("%s - %s", {displayName, *reason})};
        return {FileOutcome::Kind::Copied, code, FormatMessage(traits.successPattern, {displayName})};
    }
    const int index = code + traits.messageOffset;
    const std::string_view message =
        index >= 1 && index < static_cast<int>(ConversionMessages.size()) ? ConversionMessages[index] : "";
    return {FileOutcome::Kind::Refused, code, FormatMessage("%s - %s", {displayName, message})};
}

}  // namespace quorvel::batch
