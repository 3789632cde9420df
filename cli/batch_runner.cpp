#include "batch_runner.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"

#ifdef _WIN32
#include <process.h>
#define QUORVEL_CLI_GETPID _getpid
#else
#include <unistd.h>
#define QUORVEL_CLI_GETPID getpid
#endif

namespace quorvel::cli {
namespace {

namespace fs = std::filesystem;
using batch::FormatMessage;

class ReplacingCopyCalls final : public batch::EngineCalls {
public:
    int ConvertToType0(const fs::path& inName, const fs::path& outName) override {
        return batch::RealEngineCalls().ConvertToType0(inName, outName);
    }
    int ConvertToType1(const fs::path& inName, const fs::path& outName) override {
        return batch::RealEngineCalls().ConvertToType1(inName, outName);
    }
    bool CopyFileFailIfExists(const fs::path& inName, const fs::path& outName, std::string& reason) override {
        std::error_code ec;
        // Copying a file onto itself leaves it as it is, which is the wanted result.
        if (fs::equivalent(inName, outName, ec)) return true;
        static std::atomic<unsigned> counter{0};
        const fs::path temporary = outName.parent_path() / (".qvcopy" + std::to_string(QUORVEL_CLI_GETPID()) + "-" +
                                                            std::to_string(counter.fetch_add(1)) + ".tmp");
        ec.clear();
        if (!fs::copy_file(inName, temporary, fs::copy_options::none, ec)) {
            reason = ec.message();
            fs::remove(temporary, ec);
            return false;
        }
        fs::rename(temporary, outName, ec);
        if (ec) {
            reason = ec.message();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
        return true;
    }
};

}  // namespace

batch::EngineCalls& CliEngineCalls(bool force) {
    static ReplacingCopyCalls replacing;
    return force ? static_cast<batch::EngineCalls&>(replacing) : batch::RealEngineCalls();
}

std::vector<PlannedFile> PlanBatch(const std::vector<InputFile>& inputs, const BatchOptions& options) {
    const batch::BatchTraits& traits = batch::Traits(options.kind);
    const std::string directory = batch::Utf8FromPath(options.outputDirectory);
    // Output name -> display name of its input; names compared as the file system
    // compares them (Windows and macOS ignore case, Windows for every letter).
    std::map<std::string, std::string, batch::FileNameLess> takenBy;
    std::vector<PlannedFile> plan;
    plan.reserve(inputs.size());
    for (const InputFile& input : inputs) {
        PlannedFile file{input, {}, std::nullopt};
        const std::string& name = input.displayName;
        const std::string outputName = batch::RemoveExt(name) + std::string(traits.extension);
        file.outputPath = batch::PathFromUtf8(batch::ComposePath(directory, outputName));
        std::error_code ec;
        const fs::file_status inputStatus = fs::status(input.path, ec);
        const bool outputExists = fs::exists(fs::symlink_status(file.outputPath, ec));
        if (input.error) {
            file.refusal = FormatMessage("%s - %s", {name, *input.error});
        } else if (fs::exists(inputStatus) && !fs::is_regular_file(inputStatus)) {
            file.refusal = FormatMessage("%s - not a regular file, not converted", {name});
        } else if (!options.force && outputExists && fs::equivalent(input.path, file.outputPath, ec)) {
            file.refusal = FormatMessage("%s - would be replaced by its own output, not converted (use -f)", {name});
        } else if (!options.force && outputExists) {
            file.refusal = FormatMessage("%s - %s exists in %s, not replaced (use -f)",
                                         {name, outputName, options.outputLabel});
        } else if (const auto [it, added] = takenBy.try_emplace(outputName, name); !added) {
            file.refusal = FormatMessage("%s - same output name as %s, not converted", {name, it->second});
        }
        plan.push_back(std::move(file));
    }
    return plan;
}

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

int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out,
             ProgressBar* progress) {
    if (inputs.empty()) {
        out << batch::NoFilesSelectedText << "\n" << std::flush;
        return 2;
    }
    const std::vector<PlannedFile> plan = PlanBatch(inputs, options);
    const std::size_t count = plan.size();

    std::vector<std::optional<FileResult>> results(count);
    std::vector<std::size_t> work;
    std::size_t finished = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (plan[i].refusal) {
            results[i] = FileResult{*plan[i].refusal, false};
            ++finished;
        } else {
            work.push_back(i);
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<std::size_t> next{0};
    batch::EngineCalls& engine = CliEngineCalls(options.force);
    const auto worker = [&] {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= work.size()) return;
            FileResult result = ConvertPlanned(options.kind, plan[work[k]], engine);
            {
                const std::lock_guard lock(mutex);
                results[work[k]] = std::move(result);
                ++finished;
            }
            changed.notify_all();
        }
    };

    const std::size_t threadCount = std::min<std::size_t>(std::max(options.jobs, 1u), work.size());
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < threadCount; ++t) {
        try {
            threads.emplace_back(worker);
        } catch (const std::system_error&) {
            break;  // run with the threads there are
        }
    }
    if (threads.empty()) worker();

    bool allConverted = true;
    std::size_t printed = 0;
    std::size_t shownFinished = static_cast<std::size_t>(-1);
    std::unique_lock lock(mutex);
    while (printed < count) {
        changed.wait(lock, [&] { return results[printed].has_value() || finished != shownFinished; });
        std::vector<FileResult> ready;
        while (printed < count && results[printed]) ready.push_back(std::move(*results[printed++]));
        shownFinished = finished;
        lock.unlock();
        if (!ready.empty() && progress) progress->Clear();
        for (const FileResult& result : ready) {
            allConverted = allConverted && result.succeeded;
            if (!options.quiet || !result.succeeded) out << result.text << '\n';
        }
        out << std::flush;
        if (progress && printed < count) progress->Show(shownFinished);
        lock.lock();
    }
    lock.unlock();
    for (std::thread& thread : threads) thread.join();
    if (progress) progress->Clear();

    out << batch::Traits(options.kind).completionText << '\n' << std::flush;
    return allConverted ? 0 : 1;
}

}  // namespace quorvel::cli
