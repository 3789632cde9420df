#include "batch_plan.hpp"

#include <system_error>
#include <unordered_map>

#include "quorvel/batch/messages.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/batch/naming.hpp"

namespace quorvel::cli {
namespace {

namespace fs = std::filesystem;
using batch::FormatMessage;

// Output names compared as the file system compares them: Windows and macOS ignore
// case, other systems do not.
std::string OutputKey(const std::string& name) {
#if defined(_WIN32) || defined(__APPLE__)
    std::string key = name;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
#else
    return name;
#endif
}

// A regular file (a symbolic link followed) without any write permission bit: the
// engine refuses to replace it.
bool ReadOnlyFile(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status)) return false;
#ifdef _WIN32
    return (status.permissions() & fs::perms::owner_write) == fs::perms::none;
#else
    return (status.permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
           fs::perms::none;
#endif
}

}  // namespace

std::vector<PlannedFile> PlanBatch(const std::vector<InputFile>& inputs, const BatchOptions& options) {
    const batch::BatchTraits& traits = batch::Traits(options.kind);
    const std::string directory = options.outputDirectory.string();
    std::unordered_map<std::string, std::string> takenBy;  // output name -> display name of its input
    std::vector<PlannedFile> plan;
    plan.reserve(inputs.size());
    for (const InputFile& input : inputs) {
        PlannedFile file{input, {}, std::nullopt};
        const std::string& name = input.displayName;
        const std::string outputName = batch::RemoveExt(name) + std::string(traits.extension);
        file.outputPath = fs::path(batch::ComposePath(directory, outputName));
        std::error_code ec;
        const fs::file_status inputStatus = fs::status(input.path, ec);
        const bool outputExists = fs::exists(fs::symlink_status(file.outputPath, ec));
        if (input.error) {
            file.refusal = FormatMessage("%s - %s", {name, *input.error});
        } else if (fs::exists(inputStatus) && !fs::is_regular_file(inputStatus)) {
            file.refusal = FormatMessage("%s - not a regular file, not converted", {name});
        } else if (outputExists && ReadOnlyFile(file.outputPath)) {
            // Never replaced, with -f or without: -f would not help.
            file.refusal = FormatMessage("%s - %s", {name, engine::IoErrorText(5)});
        } else if (!options.force && outputExists && fs::equivalent(input.path, file.outputPath, ec)) {
            file.refusal = FormatMessage("%s - would be replaced by its own output, not converted (use -f)", {name});
        } else if (!options.force && outputExists) {
            file.refusal = FormatMessage("%s - %s exists in %s, not replaced (use -f)",
                                         {name, outputName, options.outputLabel});
        } else if (const auto [it, added] = takenBy.try_emplace(OutputKey(outputName), name); !added) {
            file.refusal = FormatMessage("%s - same output name as %s, not converted", {name, it->second});
        }
        plan.push_back(std::move(file));
    }
    return plan;
}

}  // namespace quorvel::cli
