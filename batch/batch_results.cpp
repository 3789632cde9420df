#include "quorvel/batch/batch_results.hpp"

#include <fstream>
#include <system_error>

#include "quorvel/batch/messages.hpp"

namespace quorvel::batch {
namespace {

std::string NameOf(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

}  // namespace

void ResultsList::Add(const FileOutcome& outcome) {
    lines.push_back(outcome.text);
    switch (GroupOf(outcome.kind)) {
    case OutcomeGroup::Converted: ++counts.converted; break;
    case OutcomeGroup::Refused: ++counts.refused; break;
    case OutcomeGroup::Failed: ++counts.failed; break;
    case OutcomeGroup::Skipped: ++counts.skipped; break;
    }
}

std::string CountsText(const ResultCounts& counts) {
    std::string text = FormatMessage(CountsPattern, {std::to_string(counts.converted), std::to_string(counts.refused),
                                                     std::to_string(counts.failed)});
    if (counts.skipped > 0) text += FormatMessage(SkippedCountPattern, {std::to_string(counts.skipped)});
    if (counts.notTried > 0) text += FormatMessage(NotTriedCountPattern, {std::to_string(counts.notTried)});
    return text;
}

std::string ResultsText(const ResultsList& results) {
    std::string text;
    for (const std::string& line : results.lines) {
        text += line;
        text += ResultsLineEnd;
    }
    text += CountsText(results.counts);
    text += ResultsLineEnd;
    return text;
}

std::optional<std::string> SaveResults(const ResultsList& results, const std::filesystem::path& path) {
    std::filesystem::path temporary = path;
    temporary += ".saving";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return "Cannot create " + NameOf(path);
        const std::string text = ResultsText(results);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return "Cannot write " + NameOf(path);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return ec.message();
    }
    return std::nullopt;
}

}  // namespace quorvel::batch
