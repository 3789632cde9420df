// The web page's way into the batch library: a memory batch (MemoryBatch) and the
// texts the page shows, bound with embind. File bytes cross as Uint8Array, copied in
// one go into and out of the module's memory (never as JavaScript strings, which would
// be re-encoded as UTF-8); names cross as strings.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/batch_results.hpp"
#include "quorvel/batch/memory_batch.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/engine/memory_limit.hpp"

namespace {

using emscripten::val;
using quorvel::batch::BatchKind;
using quorvel::batch::FileOutcome;
using quorvel::batch::MemoryBatch;
using quorvel::batch::MemoryInput;
using quorvel::batch::MemoryResult;

const char* KindName(FileOutcome::Kind kind) {
    switch (kind) {
    case FileOutcome::Kind::Converted: return "converted";
    case FileOutcome::Kind::Copied: return "copied";
    case FileOutcome::Kind::Refused: return "refused";
    case FileOutcome::Kind::Malformed: return "malformed";
    case FileOutcome::Kind::TooLarge: return "too-large";
    case FileOutcome::Kind::Failed: return "failed";
    case FileOutcome::Kind::Skipped: return "skipped";
    case FileOutcome::Kind::Declined: return "declined";
    }
    return "failed";
}

val Uint8ArrayOf(const std::vector<std::uint8_t>& bytes) {
    // A copy out of the module's memory, which may move when it grows.
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

// One file's result for the page: { line, kind, succeeded, output (Uint8Array or null) }.
val ResultObject(const MemoryResult& result) {
    val object = val::object();
    object.set("line", result.outcome.text);
    object.set("kind", std::string(KindName(result.outcome.kind)));
    object.set("succeeded", result.outcome.Succeeded());
    object.set("output", result.outcome.Succeeded() ? Uint8ArrayOf(result.output) : val::null());
    return object;
}

// A batch for the page: files chosen by path (see MemoryInput), converted one at a time.
class WebBatch {
public:
    // kind: 0, 1 or 2 (the rows of KindRows); paths and inFolder: arrays of one entry per
    // chosen file.
    WebBatch(int kind, val paths, val inFolder) : batch_(KindOf(kind), Inputs(paths, inFolder)) {}

    int size() const { return static_cast<int>(batch_.Size()); }
    int input(int index) const { return static_cast<int>(batch_.File(Index(index)).input); }
    std::string shownName(int index) const { return batch_.File(Index(index)).shownName; }
    std::string outputPath(int index) const { return batch_.File(Index(index)).outputPath; }
    bool decided(int index) const { return batch_.Decided(Index(index)); }

    // Converts file index from its bytes (a Uint8Array; anything for a decided file).
    val convert(int index, val bytes) {
        const std::size_t at = Index(index);
        if (batch_.Decided(at)) return ResultObject(batch_.Convert(at, {}));
        std::vector<std::uint8_t> input;
        try {
            input.resize(bytes["length"].as<std::size_t>());
        } catch (const std::bad_alloc&) {
            return ResultObject(batch_.NotHeld(at));
        }
        val(emscripten::typed_memory_view(input.size(), input.data())).call<void>("set", bytes);
        return ResultObject(batch_.Convert(at, std::move(input)));
    }
    // False when a file of size bytes cannot be converted however much memory there is:
    // its bytes alone pass the engine's memory limit (notHeld then words it).
    bool fits(double size) const { return size <= static_cast<double>(quorvel::engine::MemoryLimit()); }
    // The file's bytes could not be read into memory.
    val notHeld(int index) { return ResultObject(batch_.NotHeld(Index(index))); }

    void finish() { batch_.Finish(); }
    int done() const { return static_cast<int>(batch_.Done()); }
    val lines() const {
        val array = val::array();
        for (const std::string& line : batch_.Results().lines) array.call<void>("push", line);
        return array;
    }
    std::string countsText() const { return quorvel::batch::CountsText(batch_.Results().counts); }
    std::string resultsText() const { return quorvel::batch::ResultsText(batch_.Results()); }

private:
    static BatchKind KindOf(int kind) {
        const auto rows = quorvel::batch::KindRows();
        return rows[static_cast<std::size_t>(kind >= 0 && static_cast<std::size_t>(kind) < rows.size() ? kind : 0)]
            .kind;
    }
    static std::vector<MemoryInput> Inputs(val paths, val inFolder) {
        const auto count = paths["length"].as<std::size_t>();
        std::vector<MemoryInput> inputs(count);
        for (std::size_t i = 0; i < count; ++i) {
            inputs[i].path = paths[i].as<std::string>();
            inputs[i].inFolder = inFolder[i].as<bool>();
        }
        return inputs;
    }
    std::size_t Index(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= batch_.Size()) throw std::out_of_range("no such file");
        return static_cast<std::size_t>(index);
    }

    MemoryBatch batch_;
};

// The batches as the page's buttons show them: [{ caption, mnemonic, extension, subcommand }].
val Kinds() {
    val array = val::array();
    for (const auto& row : quorvel::batch::KindRows()) {
        val object = val::object();
        object.set("caption", std::string(row.caption));
        object.set("mnemonic", std::string(1, row.mnemonic));
        object.set("extension", std::string(row.extension));
        object.set("subcommand", std::string(row.subcommand));
        array.call<void>("push", object);
    }
    return array;
}

// The page's other texts, as the windows word them.
val Texts() {
    namespace b = quorvel::batch;
    val object = val::object();
    object.set("title", std::string(b::ApplicationTitle));
    object.set("noFiles", std::string(b::NoFilesSelectedText));
    object.set("progress", std::string(b::ProgressPattern));
    object.set("stop", std::string(b::StopCaption));
    object.set("copy", std::string(b::CopyCaption));
    object.set("resultsFile", std::string(b::ResultsFileName));
    object.set("filter", std::string(b::MidiFileFilter));
    return object;
}

std::string Format(const std::string& pattern, const std::string& first, const std::string& second) {
    return quorvel::batch::FormatMessage(pattern, {first, second});
}

double MemoryLimit() { return static_cast<double>(quorvel::engine::MemoryLimit()); }

}  // namespace

EMSCRIPTEN_BINDINGS(quorvel) {
    emscripten::class_<WebBatch>("WebBatch")
        .constructor<int, val, val>()
        .function("size", &WebBatch::size)
        .function("input", &WebBatch::input)
        .function("shownName", &WebBatch::shownName)
        .function("outputPath", &WebBatch::outputPath)
        .function("decided", &WebBatch::decided)
        .function("convert", &WebBatch::convert)
        .function("fits", &WebBatch::fits)
        .function("notHeld", &WebBatch::notHeld)
        .function("finish", &WebBatch::finish)
        .function("done", &WebBatch::done)
        .function("lines", &WebBatch::lines)
        .function("countsText", &WebBatch::countsText)
        .function("resultsText", &WebBatch::resultsText);
    emscripten::function("kinds", &Kinds);
    emscripten::function("texts", &Texts);
    emscripten::function("format", &Format);
    emscripten::function("memoryLimit", &MemoryLimit);
}
