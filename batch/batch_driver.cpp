#include "quorvel/batch/batch_driver.hpp"

#include <atomic>
#include <filesystem>
#include <optional>
#include <vector>

#include "quorvel/batch/batch_plan.hpp"
#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/window_folders.hpp"

namespace quorvel::batch {
namespace {

// Paths travel as UTF-8 text; the engine takes them as file-system paths.
std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

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
    const BatchKindRow& row = Row(request.kind);
    const int total = static_cast<int>(request.files.size());
    if (total == 0) {
        window.PlainMessage(ApplicationTitle, NoFilesSelectedText);
        return;
    }
    const std::filesystem::path inputDirectory = PathFromText(request.inputDirectory);
    const std::filesystem::path outputDirectory = PathFromText(request.outputDirectory);
    // A folder removed or renamed since the window read it: said plainly, before any file.
    for (const std::string* folder : {&request.inputDirectory, &request.outputDirectory}) {
        if (!FolderExists(PathFromText(*folder))) {
            window.ErrorReport(ApplicationTitle, MissingFolderText(*folder));
            return;
        }
    }
    std::vector<BatchInput> inputs;
    inputs.reserve(request.files.size());
    for (const BatchFile& file : request.files)
        inputs.push_back({inputDirectory / file.name, file.displayName, std::nullopt});
    const ReplacementPolicy policy = request.promptBeforeOverwriting ? ReplacementPolicy::Ask
                                                                     : ReplacementPolicy::Replace;
    const std::vector<PlannedFile> plan = PlanBatch(inputs, {request.kind, outputDirectory, request.outputDirectory,
                                                             policy, NameStyle::AsIs});

    // A box after each converted file: the next file starts only once it is closed.
    const bool boxPerFile = request.promptBetweenFiles && !request.resultsInOneList;
    std::atomic<int> done{0};
    std::optional<bool> replaceRemaining;  // the check box's answer, once given
    RunOptions options;
    options.jobs = boxPerFile ? 1 : request.jobs;
    options.policy = policy;
    options.endOnFileError = true;
    options.stopRequested = [&] { return window.StopRequested(); };
    options.started = [&](std::size_t i) { window.ShowProgress({done.load(), total, plan[i].shownName, false}); };
    options.confirm = [&](const PlannedFile& file) {
        if (replaceRemaining) return *replaceRemaining;
        const ReplaceAnswer answer = window.ConfirmReplace(ConfirmTitle, ReplaceQuestion(file),
                                                           SameForRemainingCaption);
        const bool replace = answer.answer == BoxAnswer::Ok;
        if (answer.forRemaining) replaceRemaining = replace;
        return replace;
    };

    ResultsList results;
    results.folder = request.outputDirectory;
    std::vector<bool> handled(plan.size(), false);
    std::optional<FileOutcome> endingError;  // the file error that ended the batch
    int boxesShown = 0;
    RunPlan(plan, request.kind, engine, options, [&](std::vector<RunResult>&& ready, std::size_t) {
        for (const RunResult& result : ready) {
            if (!result.outcome) continue;
            const FileOutcome& outcome = *result.outcome;
            handled[result.index] = true;
            ++done;
            results.Add(outcome);
            if (outcome.fileError) {
                if (!endingError) endingError = outcome;  // reported once the batch has ended
            } else if (!request.resultsInOneList &&
                       (outcome.AlwaysShown() ||
                        (outcome.kind == FileOutcome::Kind::Converted && request.promptBetweenFiles))) {
                window.PlainMessage(ApplicationTitle, outcome.text);
                ++boxesShown;
            }
        }
    });

    // The files a stop or a file error left: each gets its line in the list, and the
    // first is named in the box.
    std::string firstNotTried;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (handled[i]) continue;
        if (firstNotTried.empty()) firstNotTried = plan[i].shownName;
        ++results.counts.notTried;
        if (request.resultsInOneList) results.lines.push_back(FormatMessage(NotTriedPattern, {plan[i].shownName}));
    }
    const std::string doneText = std::to_string(done.load());
    const std::string totalText = std::to_string(total);
    std::string firstLine;  // the box's first line, or the list's last
    if (endingError)
        firstLine = request.resultsInOneList ? FormatMessage(EndedPattern, {doneText, totalText}) : endingError->text;
    else if (done < total)
        firstLine = FormatMessage(StoppedPattern, {doneText, totalText});
    else
        firstLine = std::string(row.completionText);
    window.ShowProgress({done.load(), total, {}, true});
    if (request.resultsInOneList) {
        results.lines.push_back(std::move(firstLine));
        window.ShowResults(results);
        return;
    }
    std::string text = std::move(firstLine);
    // Each line appended on its own ('\r' + a temporary trips GCC 12's -Wrestrict).
    const auto addLine = [&text](std::string_view line) {
        text += '\r';
        text += line;
    };
    if (total > 1) addLine(CountsText(results.counts));
    if (!firstNotTried.empty()) addLine(FormatMessage(FirstNotTriedPattern, {firstNotTried}));
    if (boxesShown > 10) addLine(OneListHintText);
    if (endingError)
        window.ErrorReport(ApplicationTitle, text);
    else
        window.PlainMessage(ApplicationTitle, text);
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

void ShowAbout(BatchWindow& window) { window.InformationMessage(InformationTitle, AboutText()); }

std::string ErrorReportText(const std::exception& error) { return ErrorText(error) + "."; }

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
