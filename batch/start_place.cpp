#include "quorvel/batch/start_place.hpp"

#include <algorithm>
#include <system_error>

#include "quorvel/batch/file_names.hpp"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;

char LowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    // Iterative wildcard match: the last "*" seen is retried one character further on a
    // mismatch, so no pattern takes more than length(name) x length(pattern) steps.
    std::size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Two names of one folder, or two folders, name the same one: as the platform's file
// system compares names (FileNameLess).
bool Same(const fs::path& a, const fs::path& b) {
    const std::string x = Utf8FromPath(a), y = Utf8FromPath(b);
    const FileNameLess less;
    return !less(x, y) && !less(y, x);
}

fs::path Absolute(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    if (ec) absolute = folder;
    fs::path normal = absolute.lexically_normal();
    // "/a/b/" names the folder /a/b; a root keeps its separator.
    if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
    return normal;
}

}  // namespace

StartPlace PlanStart(const std::vector<fs::path>& paths, const std::vector<std::string>& masks) {
    StartPlace place;
    std::vector<fs::path> files;
    for (const fs::path& path : paths) {
        std::error_code ec;
        const fs::file_status status = path.empty() ? fs::file_status() : fs::status(path, ec);
        const bool file = fs::is_regular_file(status), folder = fs::is_directory(status);
        if (!file && !folder) {
            place.missing.push_back(Utf8FromPath(path));
            continue;
        }
        const fs::path absolute = Absolute(path);
        if (place.directory.empty()) {
            place.directory = folder ? absolute : absolute.parent_path();
            if (file) {
                const std::string name = Utf8FromPath(absolute.filename());
                const auto match = std::find_if(masks.begin(), masks.end(),
                                                [&](const std::string& mask) { return MatchesMask(name, mask); });
                if (match != masks.end()) place.filterIndex = static_cast<int>(match - masks.begin());
            }
        }
        if (file) files.push_back(absolute);
    }
    for (const fs::path& file : files) {
        if (!Same(file.parent_path(), place.directory)) continue;
        const fs::path name = file.filename();
        if (std::none_of(place.selected.begin(), place.selected.end(),
                         [&](const fs::path& taken) { return Same(taken, name); }))
            place.selected.push_back(name);
    }
    return place;
}

std::vector<std::string> FilterMasks(std::string_view filter) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t bar = filter.find('|', start);
        parts.emplace_back(filter.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    std::vector<std::string> masks;
    for (std::size_t i = 1; i < parts.size(); i += 2) masks.push_back(parts[i]);
    return masks;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    for (std::size_t start = 0;;) {
        const std::size_t semicolon = mask.find(';', start);
        std::string_view pattern = mask.substr(start, semicolon == std::string_view::npos ? std::string_view::npos
                                                                                          : semicolon - start);
        while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
        while (!pattern.empty() && pattern.back() == ' ') pattern.remove_suffix(1);
        if (!pattern.empty() && MatchesPattern(name, pattern)) return true;
        if (semicolon == std::string_view::npos) return false;
        start = semicolon + 1;
    }
}

std::string MissingPathsText(const std::vector<std::string>& missing) {
    std::string text;
    for (const std::string& path : missing) {
        if (!text.empty()) text += '\r';
        text += path;
        text += " - No such file or folder";
    }
    return text + ".";
}

}  // namespace quorvel::batch
