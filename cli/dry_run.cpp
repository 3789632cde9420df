#include "dry_run.hpp"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/messages.hpp"
#include "batch_runner.hpp"
#include "json_report.hpp"

namespace quorvel::cli {

namespace {

// Whether the real run could open the input: it is there (a link leads to it) and may
// be read. A look, and an open for reading that is closed again: nothing changes.
bool InputOpens(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::status(path, ec))) return false;
    std::ifstream in(path, std::ios::binary);
    return in.is_open();
}

}  // namespace

int RunDryRun(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out, std::ostream& err) {
    ResultReport report(options, DryRunOutcomeNames());
    if (inputs.empty()) return WriteOut(out, err, report.Final(batch::NoFilesSelectedText)) ? 2 : 1;
    const std::vector<batch::PlannedFile> plan = PlanFor(inputs, options);
    std::size_t converted = 0;
    std::string text;
    for (const batch::PlannedFile& file : plan) {
        if (file.refusal) {
            text += report.File(file, DryRunRefusalName(file.refusal->kind), false, -1, file.refusal->text);
            continue;
        }
        if (!InputOpens(file.input.path)) {
            // As the real run words it: the engine's own "cannot open" result.
            text += report.File(file, "would-fail", false, 1,
                                batch::FormatMessage("%s - %s",
                                                     {file.shownName, batch::ResultText(batch::Row(options.kind), 1)}));
            continue;
        }
        // The input itself counts only where it exists: a missing input is no file to replace.
        std::error_code ec;
        const bool replacing = file.target == batch::OutputTarget::File ||
                               (file.target == batch::OutputTarget::Input &&
                                std::filesystem::exists(file.outputPath, ec));
        const std::string line = batch::FormatMessage(replacing ? "%s - would replace %s in %s"
                                                                : "%s - would write %s in %s",
                                                      {file.shownName, file.outputName, file.outputIn});
        text += report.File(file, replacing ? "would-replace" : "would-convert", true, -1, line);
        ++converted;
    }
    const std::string summary = batch::FormatMessage("Dry run: %s of %s files would be converted, nothing written",
                                                     {std::to_string(converted), std::to_string(plan.size())});
    if (!WriteOut(out, err, text + report.Final(summary))) return 1;
    return converted == plan.size() ? 0 : 1;
}

}  // namespace quorvel::cli
