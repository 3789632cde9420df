#include "quorvel/batch/memory_batch.hpp"

#include <algorithm>
#include <map>
#include <new>
#include <optional>
#include <string_view>

#include "quorvel/batch/engine_calls.hpp"
#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"
#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_file_ops.hpp"
#include "quorvel/engine/memory_limit.hpp"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;

// Where the plan places the inputs and the outputs: names only, never looked up on a
// disk (nothing stands there, so nothing is replaced and no folder is in the way).
const fs::path InputRoot = "/quorvel-memory/in";
const fs::path OutputRoot = "/quorvel-memory/out";

// The folders and the name of a chosen path; empty parts, "." and ".." are left out, so
// no output lands outside the output folder.
std::vector<std::string> PartsOf(std::string_view path) {
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != "." && part != "..") parts.emplace_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// quorvel-cli -r's order within one chosen folder: at the first place two paths part,
// a file comes before a subfolder, and names go by LessAsListed.
bool ListedBeforeInTree(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const bool aFile = i + 1 == a.size();
        const bool bFile = i + 1 == b.size();
        if (aFile != bFile) return aFile;
        if (a[i] != b[i]) return LessAsListed(a[i], b[i]);
    }
    return a.size() < b.size();
}

// The engine's conversions over files in memory: the window's rule (a conversion
// replaces, the karaoke copy does not), though the output folder starts empty.
class MemoryEngineCalls final : public EngineCalls {
public:
    explicit MemoryEngineCalls(engine::MemoryFileOps& files) : files_(files) {}
    int ConvertToType0(const fs::path& inName, const fs::path& outName) override {
        return engine::ConvertToType0(inName, outName, files_);
    }
    int ConvertToType1(const fs::path& inName, const fs::path& outName) override {
        return engine::ConvertToType1(inName, outName, files_);
    }
    std::optional<std::string> CopyFileFailIfExists(const fs::path& inName, const fs::path& outName) override {
        if (files_.Find(outName) != nullptr) return engine::OutputFileExists().what();
        return CopyFileReplacing(inName, outName);
    }
    std::optional<std::string> CopyFileReplacing(const fs::path& inName, const fs::path& outName) override {
        const engine::MemoryFileOps::Bytes* bytes = files_.Find(inName);
        if (bytes == nullptr) return engine::IoErrorText(2);
        files_.Put(outName, *bytes);
        return std::nullopt;
    }

private:
    engine::MemoryFileOps& files_;
};

// An engine for a file whose bytes could not be held: every conversion is too large for
// the memory there is, in the engine's own words.
class NotHeldEngineCalls final : public EngineCalls {
public:
    int ConvertToType0(const fs::path&, const fs::path&) override { throw engine::FileTooLarge(engine::MemoryLimit()); }
    int ConvertToType1(const fs::path&, const fs::path&) override { throw engine::FileTooLarge(engine::MemoryLimit()); }
    std::optional<std::string> CopyFileFailIfExists(const fs::path&, const fs::path&) override {
        throw engine::FileTooLarge(engine::MemoryLimit());
    }
    std::optional<std::string> CopyFileReplacing(const fs::path&, const fs::path&) override {
        throw engine::FileTooLarge(engine::MemoryLimit());
    }
};

}  // namespace

MemoryBatch::MemoryBatch(BatchKind kind, const std::vector<MemoryInput>& inputs) : kind_(kind) {
    // Each chosen file, and each chosen folder as a whole, is one group, in the order
    // its first file was given; a folder's files then go by the tree's order.
    struct Entry {
        std::size_t group;
        std::size_t input;
        std::vector<std::string> below;  // a folder's file: its path below the folder
        std::vector<std::string> parts;
    };
    std::vector<Entry> entries;
    std::map<std::string, std::size_t> folderGroups;
    std::size_t groups = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::vector<std::string> parts = PartsOf(inputs[i].path);
        if (parts.empty()) continue;
        if (!inputs[i].inFolder || parts.size() < 2) {
            entries.push_back({groups++, i, {}, std::move(parts)});
            continue;
        }
        if (!HasMidiExtension(parts.back())) continue;
        const auto [group, fresh] = folderGroups.try_emplace(parts.front(), groups);
        if (fresh) ++groups;
        entries.push_back({group->second, i, std::vector<std::string>(parts.begin() + 1, parts.end()), parts});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.group != b.group) return a.group < b.group;
        return ListedBeforeInTree(a.below, b.below);
    });

    std::vector<BatchInput> batchInputs;
    batchInputs.reserve(entries.size());
    for (const Entry& entry : entries) {
        fs::path path = InputRoot;
        for (const std::string& part : entry.parts) path /= PathFromUtf8(part);
        std::string folder;
        for (std::size_t i = 0; i + 1 < entry.below.size(); ++i)
            folder = folder.empty() ? entry.below[i] : ComposePath(folder, entry.below[i]);
        batchInputs.push_back({path, entry.parts.back(), std::nullopt, folder});
    }
    std::vector<PlannedFile> plan = PlanBatch(batchInputs, {kind, OutputRoot, "the output folder",
                                                            ReplacementPolicy::Refuse, NameStyle::Printable});
    files_.reserve(plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        std::string output = Utf8FromPath(plan[i].outputPath.lexically_relative(OutputRoot));
        std::replace(output.begin(), output.end(), PathSeparator, '/');
        files_.push_back({entries[i].input, plan[i].shownName, std::move(output), std::move(plan[i])});
    }
    handled_.assign(files_.size(), false);
}

MemoryResult MemoryBatch::Handled(std::size_t index, MemoryResult result) {
    if (!handled_.at(index)) {
        handled_[index] = true;
        ++done_;
        results_.Add(result.outcome);
    }
    return result;
}

MemoryResult MemoryBatch::Convert(std::size_t index, std::vector<std::uint8_t> bytes) {
    const PlannedFile& file = files_.at(index).planned;
    if (file.refusal) return Handled(index, {*file.refusal, {}});
    const std::string& name = file.shownName;
    try {
        engine::MemoryFileOps files;
        files.Put(file.input.path, std::move(bytes));
        MemoryEngineCalls engine(files);
        MemoryResult result{ConvertFile(kind_, file.input.path, file.outputPath, name, engine), {}};
        if (result.outcome.Succeeded()) {
            if (auto output = files.Take(file.outputPath)) result.output = std::move(*output);
        }
        return Handled(index, std::move(result));
    } catch (const std::exception& e) {  // no memory, or an engine error (FailedOutcome words both)
        return Handled(index, {FailedOutcome(name, e), {}});
    }
}

MemoryResult MemoryBatch::NotHeld(std::size_t index) {
    const PlannedFile& file = files_.at(index).planned;
    if (file.refusal) return Handled(index, {*file.refusal, {}});
    NotHeldEngineCalls engine;
    return Handled(index, {ConvertFile(kind_, file.input.path, file.outputPath, file.shownName, engine), {}});
}

void MemoryBatch::Finish() {
    if (finished_) return;
    finished_ = true;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (handled_[i]) continue;
        ++results_.counts.notTried;
        results_.lines.push_back(FormatMessage(NotTriedPattern, {files_[i].shownName}));
    }
    if (done_ < files_.size())
        results_.lines.push_back(FormatMessage(StoppedPattern, {std::to_string(done_), std::to_string(files_.size())}));
    else
        results_.lines.emplace_back(Row(kind_).completionText);
}

}  // namespace quorvel::batch
