#include "input_list.hpp"

#include <algorithm>
#include <system_error>

#include "quorvel/batch/file_names.hpp"

namespace quorvel::cli {
namespace {

char LowerAscii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) noexcept {
    if (name.size() < suffix.size()) return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

std::string DisplayNameOf(const std::filesystem::path& path) {
    std::string name = batch::Utf8FromPath(path.filename());
    // "dir/" has an empty file name; show the argument itself then.
    return name.empty() ? batch::Utf8FromPath(path) : name;
}

}  // namespace

bool LessAsListed(std::string_view a, std::string_view b) {
#ifdef _WIN32
    // As Windows' own listings: every letter's case ignored, Ä and ä alike.
    const int order = batch::CompareIgnoringCase(a, b);
    if (order != 0) return order < 0;
    return a < b;
#else
    return LessIgnoringAsciiCase(a, b);
#endif
}

bool HasMidiExtension(std::string_view name) noexcept {
    return EndsWithIgnoringCase(name, ".mid") || EndsWithIgnoringCase(name, ".kar");
}

bool LessIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    const auto less = [](char x, char y) {
        return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) return false;
    return a < b;
}

std::vector<InputFile> ExpandInputs(const std::vector<std::string>& arguments) {
    std::vector<InputFile> files;
    for (const std::string& argument : arguments) {
        const std::filesystem::path path = batch::PathFromUtf8(argument);
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            files.push_back({path, DisplayNameOf(path), std::nullopt});
            continue;
        }
        std::vector<InputFile> found;
        std::filesystem::directory_iterator it(path, ec);
        for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string name = batch::Utf8FromPath(it->path().filename());
            if (!HasMidiExtension(name)) continue;
            std::error_code statusError;
            if (std::filesystem::is_directory(it->path(), statusError)) continue;
            found.push_back({it->path(), name, std::nullopt});
        }
        if (ec) {
            files.push_back({path, argument, "cannot list the directory: " + ec.message()});
            continue;
        }
        std::sort(found.begin(), found.end(), [](const InputFile& a, const InputFile& b) {
            return LessAsListed(a.displayName, b.displayName);
        });
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

}  // namespace quorvel::cli
