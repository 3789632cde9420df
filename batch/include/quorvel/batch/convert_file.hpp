#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::batch {

// What became of one file of a batch: the one classification every front end reports.
struct FileOutcome {
    enum class Kind {
        Converted,  // the engine wrote the output
        Copied,     // karaoke batch, not a format-0 file: copied under the new name
        Refused,    // a result code other than 0 (its message is in text)
        Malformed,  // the engine found the file's structure broken
        TooLarge,   // the file, or its output, does not fit the file image
        Failed,     // a file error, no memory, or a karaoke copy that did not take place
        Skipped,    // the batch left it: its output name is taken, or names another input
        Declined,   // the user declined to replace what is at its output name
    };
    Kind kind;
    int code;          // the engine's result code; -1 when it gave none
    std::string text;  // the per-file message, with the display name
    // A file error (reading, writing, no memory, a read-only output): the windows end
    // their batch on it; quorvel-cli goes on.
    bool fileError = false;
    // True for a conversion or a copy that took place.
    bool Succeeded() const noexcept { return kind == Kind::Converted || kind == Kind::Copied; }
    // A success is shown only when the user asks for it; a declined file never gets a
    // box (the user has just answered for it); every other outcome, and the karaoke copy,
    // always does.
    bool AlwaysShown() const noexcept { return kind != Kind::Converted && kind != Kind::Declined; }
};

// The three counts a batch's results are summed up in, plus the skipped and declined files.
enum class OutcomeGroup { Converted, Refused, Failed, Skipped };

// Converted and copied files count as converted; refused, malformed and too large ones
// as refused (the file itself is the reason); failed ones as failed; skipped and declined
// ones as skipped.
OutcomeGroup GroupOf(FileOutcome::Kind kind) noexcept;

// The outcome of a file whose replacement the user declined: "song.mid - not replaced, skipped".
FileOutcome DeclinedOutcome(std::string_view displayName);

// The outcome of a file whose conversion threw (a file error, no memory): "song.mid - Disk full",
// with fileError set.
FileOutcome FailedOutcome(std::string_view displayName, const std::exception& error);

// The user-facing text of an exception: its message, or "Out of memory" for std::bad_alloc.
std::string ErrorText(const std::exception& error);

// Runs the batch's engine entry (its row's) for one file and words the result, as every front end
// shows it ("song.mid - Not a Type 1 Midifile", "song.mid converted to type 0").
// MalformedFile and FileTooLarge become outcomes; IoError and OutOfMemory propagate
// (FailedOutcome words them for a front end that goes on or lists them).
// replaceAgreed: the user agreed to replace what is at the output name, so the karaoke
// copy replaces it too (otherwise it never does).
FileOutcome ConvertFile(BatchKind kind, const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                        const std::string& displayName, EngineCalls& engine = RealEngineCalls(),
                        bool replaceAgreed = false);

}  // namespace quorvel::batch
