#include "batch_plan.hpp"

#include <system_error>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"
#include "quorvel/batch/output_names.hpp"
#include "quorvel/engine/errors.hpp"
#include "result_line.hpp"

namespace quorvel::cli {
namespace {

namespace fs = std::filesystem;
using batch::FormatMessage;

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
    const std::string directory = batch::Utf8FromPath(options.outputDirectory);
    std::vector<PlannedFile> plan;
    plan.reserve(inputs.size());
    // The output-name rule sees every input that names a file (not a directory that
    // could not be listed), in input order.
    std::vector<batch::NamedOutput> named;
    std::vector<std::size_t> namedIndex(inputs.size(), static_cast<std::size_t>(-1));
    for (const InputFile& input : inputs) {
        PlannedFile file{input, {}, std::nullopt, PrintableName(input.ShownName())};
        const std::string outputName = batch::RemoveExt(input.displayName) + std::string(traits.extension);
        const std::string folder = input.folder.empty() ? directory : batch::ComposePath(directory, input.folder);
        file.outputPath = batch::PathFromUtf8(batch::ComposePath(folder, outputName));
        if (input.folder.empty())
            file.outputIn = PrintableName(options.outputLabel);
        else if (options.outputLabel == CurrentDirectoryLabel)
            file.outputIn = PrintableName(input.folder);
        else
            file.outputIn = PrintableName(batch::ComposePath(options.outputLabel, input.folder));
        if (!input.error) {
            namedIndex[plan.size()] = named.size();
            named.push_back({input.path, file.outputPath, file.shownName, PrintableName(outputName)});
        }
        plan.push_back(std::move(file));
    }
    const std::vector<std::optional<std::string>> nameRefusals = batch::OutputNameRefusals(named);

    for (std::size_t i = 0; i < plan.size(); ++i) {
        PlannedFile& file = plan[i];
        const InputFile& input = file.input;
        const std::string& name = file.shownName;
        std::error_code ec;
        const fs::file_status inputStatus = fs::status(input.path, ec);
        const bool outputExists = fs::exists(fs::symlink_status(file.outputPath, ec));
        using Kind = batch::FileOutcome::Kind;
        if (input.error) {
            file.refusal = FormatMessage("%s - %s", {name, PrintableName(*input.error)});
            file.refusalKind = Kind::Failed;
        } else if (fs::exists(inputStatus) && !fs::is_regular_file(inputStatus)) {
            file.refusal = FormatMessage("%s - not a regular file, not converted", {name});
            file.refusalKind = Kind::Refused;
        } else if (const auto& refusal = nameRefusals[namedIndex[i]]) {
            file.refusal = refusal;
        } else if (outputExists && ReadOnlyFile(file.outputPath)) {
            // Never replaced, with -f or without: -f would not help.
            file.refusal = FormatMessage("%s - %s", {name, engine::IoErrorText(5)});
            file.refusalKind = Kind::Failed;
        } else if (!options.force && outputExists && fs::equivalent(input.path, file.outputPath, ec)) {
            file.refusal = FormatMessage("%s - would be replaced by its own output, not converted (use -f)", {name});
        } else if (!options.force && outputExists) {
            file.refusal = FormatMessage("%s - %s exists in %s, not replaced (use -f)",
                                         {name, named[namedIndex[i]].outputName, file.outputIn});
        }
    }
    return plan;
}

}  // namespace quorvel::cli
