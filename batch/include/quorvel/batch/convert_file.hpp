#pragma once

#include <filesystem>
#include <string>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::batch {

// What became of one file of a batch.
struct FileOutcome {
    enum class Kind {
        Converted,   // the engine wrote the output
        Refused,     // a result code other than 0 (its message is in text)
        Malformed,   // the engine found the file's structure broken
        TooLarge,    // the file, or its output, does not fit the file image
        Copied,      // karaoke batch, not a format-0 file: copied under the new name
        CopyFailed,  // karaoke batch: the copy did not take place
    };
    Kind kind;
    int code;          // the engine's result code; -1 when it gave none
    std::string text;  // the per-file message, with the display name
    // True for a conversion or a copy that took place.
    bool Succeeded() const noexcept { return kind == Kind::Converted || kind == Kind::Copied; }
    // A success is shown only when the user asks for it; every other outcome, and the
    // karaoke copy, always.
    bool AlwaysShown() const noexcept { return kind != Kind::Converted; }
};

// Runs the batch's engine entry for one file and words the result, as every front end
// shows it ("song.mid - Not a Type 1 Midifile", "song.mid converted to type 0").
// MalformedFile and FileTooLarge become outcomes; IoError and OutOfMemory propagate.
FileOutcome ConvertFile(BatchKind kind, const std::filesystem::path& inputPath,
                        const std::filesystem::path& outputPath, const std::string& displayName,
                        EngineCalls& engine = RealEngineCalls());

}  // namespace quorvel::batch
