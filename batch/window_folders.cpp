#include "quorvel/batch/window_folders.hpp"

#include <system_error>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Why a name cannot be a folder's name in one folder, or nothing when the file system
// is to decide.
std::optional<std::string> NameRefusal(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "not a name of its own";
#ifdef _WIN32
    constexpr std::string_view forbidden = "\\/:*?\"<>|";
#else
    constexpr std::string_view forbidden = "/";
#endif
    for (const char c : name) {
        if (forbidden.find(c) != std::string_view::npos) return "a name cannot contain " + std::string(1, c);
#ifdef _WIN32
        if (static_cast<unsigned char>(c) < 0x20) return "a name cannot contain control characters";
#else
        if (c == '\0') return "a name cannot contain control characters";
#endif
    }
#ifdef _WIN32
    if (name.back() == '.') return "a name cannot end with a dot";
#endif
    return std::nullopt;
}

}  // namespace

bool FolderExists(const fs::path& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_directory(folder, ec);
}

fs::path NearestExistingFolder(const fs::path& folder) {
    fs::path at = folder;
    while (!FolderExists(at)) {
        const fs::path parent = at.parent_path();
        if (parent.empty() || parent == at) return at;  // the root itself is gone
        at = parent;
    }
    return at;
}

std::string MissingFolderText(std::string_view shownFolder) {
    return FormatMessage(MissingFolderPattern, {shownFolder});
}

NewFolder MakeFolder(const fs::path& parent, std::string_view typed) {
    const std::string_view name = Trimmed(typed);
    const auto failed = [&](std::string_view reason) {
        return NewFolder{{}, FormatMessage(NewFolderFailedPattern, {name, reason})};
    };
    if (const std::optional<std::string> refusal = NameRefusal(name)) return failed(*refusal);
    const fs::path made = parent / PathFromUtf8(name);
    std::error_code ec;
    if (!fs::create_directory(made, ec)) {
        if (ec) return failed(ec.message());
        return failed("a file or folder of that name is there already");
    }
    return {made, std::nullopt};
}

}  // namespace quorvel::batch
