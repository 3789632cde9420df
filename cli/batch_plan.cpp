#include "batch_plan.hpp"

#include <map>
#include <system_error>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"

namespace quorvel::cli {

namespace fs = std::filesystem;
using batch::FormatMessage;

std::vector<PlannedFile> PlanBatch(const std::vector<InputFile>& inputs, const BatchOptions& options) {
    const batch::BatchTraits& traits = batch::Traits(options.kind);
    const std::string directory = batch::Utf8FromPath(options.outputDirectory);
    // Output name -> display name of its input; names compared as the file system
    // compares them (Windows ignores case, for every letter).
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

}  // namespace quorvel::cli
