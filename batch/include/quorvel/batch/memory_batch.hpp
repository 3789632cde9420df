#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/batch_plan.hpp"
#include "quorvel/batch/batch_results.hpp"
#include "quorvel/batch/convert_file.hpp"

namespace quorvel::batch {

// One file chosen for a batch whose files are held in memory rather than on a disk the
// program can see (the web page): its path as chosen, UTF-8 with "/" between folders.
// A file chosen by itself is its name ("song.mid"); a file found in a chosen folder
// starts with that folder's name ("midi/Abba/song.mid") and has inFolder set.
struct MemoryInput {
    std::string path;
    bool inFolder = false;
};

// One file of a memory batch, in batch order.
struct MemoryPlanned {
    std::size_t input = 0;   // its index among the inputs given
    std::string shownName;   // how its line names it (quorvel-cli's printable form)
    std::string outputPath;  // its output below the output folder, "/" between folders ("Abba/song.mid")
    PlannedFile planned;     // the plan's entry (paths below an in-memory root)
};

// What became of one file of a memory batch: its outcome (line and kind, as every front
// end words them) and the bytes of its output when it has one.
struct MemoryResult {
    FileOutcome outcome;
    std::vector<std::uint8_t> output;
};

// A batch over files held in memory, by the rules of every other front end: planned by
// PlanBatch (output names by OutputPathOf, the output-name rule, lines in quorvel-cli's
// printable form), each file converted through ConvertFile over the engine's in-memory
// file operations (the same conversions, texts and karaoke copy as on disk), the lines
// and counts gathered in a ResultsList as the windows' one list shows them. The output
// folder starts empty, so nothing there is ever replaced. No threads: files are
// converted one at a time on the caller's thread, which can stop between them.
class MemoryBatch {
public:
    // Plans a batch of kind over inputs, in the order quorvel-cli -r gives a tree: files
    // found in a chosen folder count only when HasMidiExtension says so, and follow in
    // their folder's listing order (in each folder its files, then its subfolders, each
    // by LessAsListed, depth first), the whole folder where its first file was given;
    // the folder's own name is left out of the outputs' paths.
    MemoryBatch(BatchKind kind, const std::vector<MemoryInput>& inputs);

    // The files of the batch, in batch order.
    std::size_t Size() const noexcept { return files_.size(); }
    const MemoryPlanned& File(std::size_t index) const { return files_.at(index); }
    // True when the plan already decided the file's outcome: Convert needs no bytes then.
    bool Decided(std::size_t index) const { return files_.at(index).planned.refusal.has_value(); }

    // Converts file index from bytes, the whole file (ignored for a decided file), and
    // adds its line to the results. Never throws for the file's own troubles: an error of
    // the engine or no memory becomes a failed outcome.
    MemoryResult Convert(std::size_t index, std::vector<std::uint8_t> bytes);
    // The outcome of file index when its bytes cannot be held in memory: the engine's
    // "File too large (over the memory limit of ...)", added to the results.
    MemoryResult NotHeld(std::size_t index);

    // Ends the batch: each file not converted yet gets its "... - not tried" line and
    // counts as not tried, then comes the last line, the kind's completion text or, after
    // a stop, "Stopped after N of M files". Later calls change nothing.
    void Finish();

    // Files handled so far (converted, refused or failed).
    std::size_t Done() const noexcept { return done_; }
    const ResultsList& Results() const noexcept { return results_; }

private:
    MemoryResult Handled(std::size_t index, MemoryResult result);

    BatchKind kind_;
    std::vector<MemoryPlanned> files_;
    std::vector<bool> handled_;
    std::size_t done_ = 0;
    bool finished_ = false;
    ResultsList results_;
};

}  // namespace quorvel::batch
