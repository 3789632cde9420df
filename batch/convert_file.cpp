#include "quorvel/batch/convert_file.hpp"

#include "quorvel/engine/errors.hpp"
#include "quorvel/batch/messages.hpp"

namespace quorvel::batch {

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
            return {FileOutcome::Kind::CopyFailed, code, FormatMessage("%s - %s", {displayName, *reason})};
        return {FileOutcome::Kind::Copied, code, FormatMessage(traits.successPattern, {displayName})};
    }
    const int index = code + traits.messageOffset;
    const std::string_view message =
        index >= 1 && index < static_cast<int>(ConversionMessages.size()) ? ConversionMessages[index] : "";
    return {FileOutcome::Kind::Refused, code, FormatMessage("%s - %s", {displayName, message})};
}

}  // namespace quorvel::batch
