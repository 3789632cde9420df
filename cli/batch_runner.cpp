#include "batch_runner.hpp"

#include <cstddef>
#include <optional>
#include <string>

#include "quorvel/batch/messages.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/file_copy.hpp"
#include "ordered_pool.hpp"
#include "result_line.hpp"

namespace quorvel::cli {
namespace {

namespace fs = std::filesystem;

// Copies from to to, replacing a file at to (through a temporary file and a rename, so
// the old file stays whole when the copy fails). Returns why it did not copy, if so.
std::optional<std::string> CopyReplacingOutput(const fs::path& from, const fs::path& to) {
    try {
        engine::CopyFileAtomically(from, to, engine::ReplacePolicy::Replace);
        return std::nullopt;
    } catch (const engine::EngineError& e) {
        return e.what();
    }
}

// The engine calls of a batch run with -f: the real conversions (which replace their
// outputs anyway) and, for the karaoke copy, CopyReplacingOutput.
class ForcedEngineCalls final : public batch::EngineCalls {
public:
    int ConvertToType0(const fs::path& inName, const fs::path& outName) override {
        return batch::RealEngineCalls().ConvertToType0(inName, outName);
    }
    int ConvertToType1(const fs::path& inName, const fs::path& outName) override {
        return batch::RealEngineCalls().ConvertToType1(inName, outName);
    }
    // -f asks for replacing, so this copy does not fail when the output exists.
    std::optional<std::string> CopyFileFailIfExists(const fs::path& inName, const fs::path& outName) override {
        return CopyReplacingOutput(inName, outName);
    }
};

}  // namespace

batch::EngineCalls& CliEngineCalls(bool force) {
    static ForcedEngineCalls forced;
    return force ? static_cast<batch::EngineCalls&>(forced) : batch::RealEngineCalls();
}

int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out,
             ProgressBar* progress) {
    if (inputs.empty()) {
        out << batch::NoFilesSelectedText << "\n" << std::flush;
        return 2;
    }
    const std::vector<PlannedFile> plan = PlanBatch(inputs, options);
    const std::size_t count = plan.size();
    batch::EngineCalls& engine = CliEngineCalls(options.force);

    bool allConverted = true;
    std::size_t printed = 0;
    RunInOrder<FileResult>(
        count, options.jobs, [&](std::size_t i) { return ResultOf(options.kind, plan[i], engine); },
        [&](std::vector<FileResult>&& ready, std::size_t finished) {
            if (!ready.empty() && progress) progress->Clear();
            for (const FileResult& result : ready) {
                allConverted = allConverted && result.succeeded;
                if (!options.quiet || !result.succeeded) out << result.text << '\n';
            }
            printed += ready.size();
            out << std::flush;
            if (progress && printed < count) progress->Show(finished);
        });
    if (progress) progress->Clear();

    out << batch::Traits(options.kind).completionText << '\n' << std::flush;
    return allConverted ? 0 : 1;
}

}  // namespace quorvel::cli
