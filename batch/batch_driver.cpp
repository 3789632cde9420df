#include "quorvel/batch/batch_driver.hpp"

#include <filesystem>

#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"

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

std::string InputPath(const BatchWindow& window, std::string_view displayName) {
    return ComposePath(window.FileDirectory(), displayName);
}

std::string OutputPath(const BatchWindow& window, BatchKind kind, std::string_view displayName) {
    return ComposePath(window.OutputDirectory(), RemoveExt(displayName) + std::string(Traits(kind).extension));
}

BatchRequest TakeSnapshot(const BatchWindow& window, BatchKind kind) {
    BatchRequest request;
    request.kind = kind;
    request.inputDirectory = window.FileDirectory();
    request.outputDirectory = window.OutputDirectory();
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i)
        if (window.FileSelected(i)) request.files.push_back(window.FileEntry(i));
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
    const std::string extension(traits.extension);
    ResultsList results;
    int done = 0;
    for (const std::string& displayName : request.files) {
        if (window.StopRequested()) break;
        window.ShowProgress({done, total, displayName, false});
        const std::string inputPath = ComposePath(request.inputDirectory, displayName);
        const std::string outputPath = ComposePath(request.outputDirectory, RemoveExt(displayName) + extension);
        // Converting a file onto itself asks first, when the option says so. Only the two
        // texts are compared; an existing file under another name is replaced silently.
        FileOutcome outcome{FileOutcome::Kind::Skipped, -1, {}};
        if (SamePathIgnoringAsciiCase(inputPath, outputPath) && request.promptBeforeOverwriting &&
            window.Confirm(ConfirmTitle, FormatMessage("%s - Replace existing file?", {displayName})) ==
                BoxAnswer::Cancel) {
            outcome = SkippedOutcome(displayName);
        } else if (!request.resultsInOneList) {
            outcome = ConvertFile(request.kind, PathFromText(inputPath), PathFromText(outputPath), displayName, engine);
        } else {
            try {
                outcome =
                    ConvertFile(request.kind, PathFromText(inputPath), PathFromText(outputPath), displayName, engine);
            } catch (const std::exception& error) {
                // The error still ends the batch; its line closes the list.
                results.Add(FailedOutcome(displayName, error));
                window.ShowProgress({done + 1, total, {}, true});
                window.ShowResults(results);
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
