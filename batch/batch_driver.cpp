#include "quorvel/batch/batch_driver.hpp"

#include <filesystem>
#include <optional>
#include <vector>

#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"
#include "quorvel/batch/output_names.hpp"

namespace quorvel::batch {
namespace {

// Paths travel as UTF-8 text; the engine takes them as file-system paths.
std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

int NoSelected(const BatchWindow& window) {
    int selected = 0;
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i)
        if (window.FileSelected(i)) ++selected;
    return selected;
}

std::filesystem::path InputPath(const BatchWindow& window, const std::filesystem::path& name) {
    return PathFromText(window.FileDirectory()) / name;
}

std::filesystem::path OutputPath(const BatchWindow& window, BatchKind kind, const std::filesystem::path& name) {
    return PathFromText(window.OutputDirectory()) / OutputFileName(name, Traits(kind).extension);
}

BatchRequest TakeSnapshot(const BatchWindow& window, BatchKind kind) {
    BatchRequest request;
    request.kind = kind;
    request.inputDirectory = window.FileDirectory();
    request.outputDirectory = window.OutputDirectory();
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i)
        if (window.FileSelected(i)) request.files.push_back({window.FileEntry(i), window.FileName(i)});
    request.promptBetweenFiles = window.OptionChecked(BatchOption::PromptBetweenFiles);
    request.promptBeforeOverwriting = window.OptionChecked(BatchOption::PromptBeforeOverwriting);
    request.resultsInOneList = window.OptionChecked(BatchOption::ResultsInOneList);
    return request;
}

void RunBatch(const BatchRequest& request, BatchWindow& window, EngineCalls& engine) {
    const BatchTraits& traits = Traits(request.kind);
    const int total = static_cast<int>(request.files.size());
    if (total == 0) {
        window.PlainMessage(ApplicationTitle, NoFilesSelectedText);
        return;
    }
    const std::filesystem::path inputDirectory = PathFromText(request.inputDirectory);
    const std::filesystem::path outputDirectory = PathFromText(request.outputDirectory);
    std::vector<NamedOutput> named;
    named.reserve(request.files.size());
    for (const BatchFile& file : request.files) {
        const std::filesystem::path outputName = OutputFileName(file.name, traits.extension);
        named.push_back({inputDirectory / file.name, outputDirectory / outputName, file.displayName,
                         RemoveExt(file.displayName) + std::string(traits.extension)});
    }
    const std::vector<std::optional<std::string>> refusals = OutputNameRefusals(named);

    ResultsList results;
    int done = 0;
    for (std::size_t i = 0; i < named.size(); ++i) {
        const std::string& displayName = named[i].displayName;
        if (window.StopRequested()) break;
        window.ShowProgress({done, total, displayName, false});
        const std::filesystem::path& inputPath = named[i].input;
        const std::filesystem::path& outputPath = named[i].output;
        // Converting a file onto itself asks first, when the option says so; an existing
        // file under another name is replaced silently.
        FileOutcome outcome{FileOutcome::Kind::Skipped, -1, {}};
        if (refusals[i]) {
            outcome = {FileOutcome::Kind::Refused, -1, *refusals[i]};
        } else if (request.promptBeforeOverwriting && SameFile(inputPath, outputPath) &&
                   window.Confirm(ConfirmTitle, FormatMessage("%s - Replace existing file?", {displayName})) ==
                       BoxAnswer::Cancel) {
            outcome = SkippedOutcome(displayName);
        } else {
            try {
                outcome = ConvertFile(request.kind, inputPath, outputPath, displayName, engine);
            } catch (const std::exception& error) {
                // The error ends the batch; its line names the file, in the list or a box.
                const FileOutcome failed = FailedOutcome(displayName, error);
                window.ShowProgress({done + 1, total, {}, true});
                if (request.resultsInOneList) {
                    results.Add(failed);
                    window.ShowResults(results);
                } else {
                    window.ErrorReport(ApplicationTitle, failed.text);
                }
                return;
            }
        }
        ++done;
        if (request.resultsInOneList)
            results.Add(outcome);
        else if (outcome.AlwaysShown() || (outcome.kind == FileOutcome::Kind::Converted && request.promptBetweenFiles))
            window.PlainMessage(ApplicationTitle, outcome.text);
    }
    const std::string finalText =
        done < total ? FormatMessage(StoppedPattern, {std::to_string(done), std::to_string(total)})
                     : std::string(traits.completionText);
    window.ShowProgress({done, total, {}, true});
    if (request.resultsInOneList) {
        results.lines.push_back(finalText);
        window.ShowResults(results);
    } else {
        window.PlainMessage(ApplicationTitle, finalText);
    }
}

void RunBatch(BatchKind kind, BatchWindow& window, EngineCalls& engine) {
    RunBatch(TakeSnapshot(window, kind), window, engine);
}

void SelectAll(BatchWindow& window) {
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i) window.SetFileSelected(i, true);
}

void ToggleOption(BatchWindow& window, BatchOption option) {
    window.SetOptionChecked(option, !window.OptionChecked(option));
}

void ShowAbout(BatchWindow& window) {
    window.InformationMessage(InformationTitle, AboutText());
}

std::string ErrorReportText(const std::exception& error) {
    return ErrorText(error) + ".";
}

void RunHandler(BatchWindow& window, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        try {
            window.ErrorReport(ApplicationTitle, ErrorReportText(error));
        } catch (...) {
            // Nothing is left to report with; the window must survive its own handler.
        }
    }
}

}  // namespace quorvel::batch
