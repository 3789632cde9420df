#include "result_line.hpp"

#include <exception>
#include <new>

#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/messages.hpp"

namespace quorvel::cli {

using batch::FormatMessage;

FileResult ConvertPlanned(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine) noexcept {
    const std::string& name = file.input.displayName;
    try {
        try {
            const batch::FileOutcome outcome = batch::ConvertFile(kind, file.input.path, file.outputPath, name, engine);
            return {outcome.text, outcome.Succeeded()};
        } catch (const std::bad_alloc&) {
            return {FormatMessage("%s - %s", {name, "Out of memory"}), false};
        } catch (const std::exception& e) {
            // IoError and OutOfMemory: the window would end the batch with an error box;
            // here the line reports it and the next file goes on.
            return {FormatMessage("%s - %s", {name, e.what()}), false};
        } catch (...) {
            return {FormatMessage("%s - %s", {name, "unexpected error"}), false};
        }
    } catch (...) {
        // Not even the line could be built (no memory for it).
        return {name, false};
    }
}

FileResult ResultOf(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine) noexcept {
    if (!file.refusal) return ConvertPlanned(kind, file, engine);
    try {
        return {*file.refusal, false};
    } catch (...) {
        return {file.input.displayName, false};
    }
}

}  // namespace quorvel::cli
