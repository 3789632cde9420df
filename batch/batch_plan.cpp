#include "quorvel/batch/batch_plan.hpp"

#include <system_error>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"
#include "quorvel/batch/output_names.hpp"
#include "quorvel/batch/printable_name.hpp"
#include "quorvel/engine/errors.hpp"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;
using Kind = FileOutcome::Kind;

std::string Shown(std::string_view name, NameStyle style) {
    return style == NameStyle::Printable ? PrintableName(name) : std::string(name);
}

// What stands at an output name that is not the input's own: nothing, a plain file
// (read-only or not), a folder or something else; exists tells whether the name itself
// is taken (also by a link to nothing).
OutputTarget TargetAt(const fs::path& output, bool& exists) {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(output, ec);
    exists = fs::exists(link);
    if (!exists) return OutputTarget::Nothing;
    const fs::file_status status = fs::is_symlink(link) ? fs::status(output, ec) : link;
    // A link to nothing: the output is written where it leads, and nothing is replaced.
    if (!fs::exists(status)) return OutputTarget::Nothing;
    if (fs::is_directory(status)) return OutputTarget::Folder;
    if (!fs::is_regular_file(status)) return OutputTarget::Other;
#ifdef _WIN32
    const fs::perms writable = fs::perms::owner_write;
#else
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
#endif
    return (status.permissions() & writable) == fs::perms::none ? OutputTarget::ReadOnlyFile : OutputTarget::File;
}

// For an output in a folder below the output directory: why that folder cannot be made,
// when a plain file (or anything else that is not a folder) stands at its name or at a
// folder's name above it; nothing when the folders are there or can be made.
std::optional<std::string> BlockedFolder(const fs::path& outputDirectory, const fs::path& folder) {
    for (fs::path at = folder; !at.empty() && at != outputDirectory && at != at.parent_path(); at = at.parent_path()) {
        std::error_code ec;
        const fs::file_status status = fs::status(at, ec);
        if (fs::is_directory(status)) return std::nullopt;
        if (fs::exists(status)) return std::make_error_code(std::errc::not_a_directory).message();
    }
    return std::nullopt;
}

}  // namespace

std::string BatchInput::ShownName() const { return folder.empty() ? displayName : ComposePath(folder, displayName); }

fs::path OutputPathOf(const BatchInput& input, const fs::path& outputDirectory, BatchKind kind) {
    // The name as the file system spells it, which a display name may not (a name that
    // is not valid UTF-8).
    const fs::path spelled = input.path.filename();
    const fs::path name = OutputFileName(spelled.empty() ? PathFromUtf8(input.displayName) : spelled,
                                         Row(kind).extension);
    return input.folder.empty() ? outputDirectory / name : outputDirectory / PathFromUtf8(input.folder) / name;
}

std::vector<PlannedFile> PlanBatch(const std::vector<BatchInput>& inputs, const PlanOptions& options) {
    const BatchKindRow& row = Row(options.kind);
    const NameStyle style = options.names;
    std::vector<PlannedFile> plan;
    plan.reserve(inputs.size());
    // The output-name rule sees every input that names a file (not a folder that could
    // not be listed), in input order.
    std::vector<NamedOutput> named;
    std::vector<std::size_t> namedIndex(inputs.size(), static_cast<std::size_t>(-1));
    for (const BatchInput& input : inputs) {
        PlannedFile file{input, OutputPathOf(input, options.outputDirectory, options.kind),
                         Shown(input.ShownName(), style),
                         Shown(RemoveExt(input.displayName) + std::string(row.extension), style)};
        if (input.folder.empty())
            file.outputIn = Shown(options.outputLabel, style);
        else if (options.outputLabel == CurrentDirectoryLabel)
            file.outputIn = Shown(input.folder, style);
        else
            file.outputIn = Shown(ComposePath(options.outputLabel, input.folder), style);
        if (!input.error) {
            namedIndex[plan.size()] = named.size();
            named.push_back({input.path, file.outputPath, file.shownName, file.outputName});
        }
        plan.push_back(std::move(file));
    }
    const std::vector<OutputNameCheck> checks = CheckOutputNames(named);

    for (std::size_t i = 0; i < plan.size(); ++i) {
        PlannedFile& file = plan[i];
        const std::string& name = file.shownName;
        const auto refuse = [&](Kind kind, std::string text, bool fileError = false) {
            file.refusal = FileOutcome{kind, -1, std::move(text), fileError};
        };
        if (file.input.error) {
            refuse(Kind::Failed, FormatMessage("%s - %s", {name, Shown(*file.input.error, style)}));
            continue;
        }
        std::error_code ec;
        const fs::file_status inputStatus = fs::status(file.input.path, ec);
        bool exists = false;
        file.target = TargetAt(file.outputPath, exists);
        const OutputNameCheck& check = checks[namedIndex[i]];
        // The input itself, even where it is missing: a window asks before a conversion
        // onto the input, whether or not the engine can then open it.
        if (check.ownInput && file.target != OutputTarget::ReadOnlyFile) file.target = OutputTarget::Input;
        const bool replacing = options.policy != ReplacementPolicy::Refuse;
        if (fs::exists(inputStatus) && !fs::is_regular_file(inputStatus)) {
            refuse(Kind::Refused, FormatMessage("%s - not a regular file, not converted", {name}));
        } else if (check.refusal) {
            refuse(Kind::Skipped, *check.refusal);
        } else if (const auto blocked = file.input.folder.empty()
                                            ? std::nullopt
                                            : BlockedFolder(options.outputDirectory, file.outputPath.parent_path())) {
            refuse(Kind::Failed, FormatMessage("%s - cannot make the folder %s: %s", {name, file.outputIn, *blocked}));
        } else if (file.target == OutputTarget::ReadOnlyFile) {
            // Never replaced, whatever the policy: the engine would refuse it.
            refuse(Kind::Failed, FormatMessage("%s - %s", {name, engine::IoErrorText(5)}), true);
        } else if (file.target == OutputTarget::Folder || file.target == OutputTarget::Other) {
            // Whatever the policy: -f cannot replace a folder either.
            refuse(Kind::Failed,
                   FormatMessage("%s - %s in %s is not a file, not replaced", {name, file.outputName, file.outputIn}));
        } else if (!replacing && exists && file.target == OutputTarget::Input) {
            refuse(Kind::Skipped,
                   FormatMessage("%s - would be replaced by its own output, not converted (use -f)", {name}));
        } else if (!replacing && exists) {
            refuse(Kind::Skipped, FormatMessage("%s - %s exists in %s, not replaced (use -f)",
                                                {name, file.outputName, file.outputIn}));
        } else {
            file.ask = options.policy == ReplacementPolicy::Ask &&
                       (file.target == OutputTarget::File || file.target == OutputTarget::Input);
        }
    }
    return plan;
}

std::string ReplaceQuestion(const PlannedFile& file) {
    return FormatMessage("%s - Replace existing file?", {file.shownName});
}

}  // namespace quorvel::batch
