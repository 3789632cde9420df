#include "quorvel/batch/output_names.hpp"

#include <map>
#include <set>
#include <system_error>

#include "quorvel/batch/messages.hpp"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> names FormatMessageA/W FormatMessage; this file means the batch library's.
#undef FormatMessage
#endif

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;

// Upper-cases a name where the file system ignores case: with the system's table on
// Windows (every letter with an upper case), a to z on macOS; elsewhere unchanged.
fs::path::string_type FoldCase(fs::path::string_type name) {
#if defined(_WIN32)
    if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
#elif defined(__APPLE__)
    for (auto& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
#endif
    return name;
}

}  // namespace

fs::path::string_type FileKey(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    // A path none of whose parts exist stays as it is: made absolute first, it still
    // compares with the others.
    fs::path resolved = fs::weakly_canonical(absolute, ec);
    if (ec) resolved = absolute.lexically_normal();
    return FoldCase(resolved.native());
}

namespace {

// FileKey for many paths of few folders: each folder is resolved once, and a name in
// it costs one look at the name itself (to follow it when it is a symbolic link).
class FileKeys {
public:
    fs::path::string_type Of(const fs::path& path) {
        const fs::path name = path.filename();
        if (name.empty() || name == "." || name == "..") return FileKey(path);
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(path, ec))) return FileKey(path);
        const fs::path folder = path.parent_path();
        auto [entry, fresh] = folders_.try_emplace(folder.native());
        if (fresh) entry->second = FileKey(folder.empty() ? fs::path(".") : folder);
        return FoldCase((fs::path(entry->second) / name).native());
    }

private:
    std::map<fs::path::string_type, fs::path::string_type> folders_;
};

}  // namespace

std::vector<OutputNameCheck> CheckOutputNames(const std::vector<NamedOutput>& files) {
    FileKeys keys;
    std::vector<fs::path::string_type> inputKeys;
    inputKeys.reserve(files.size());
    for (const NamedOutput& file : files) inputKeys.push_back(keys.Of(file.input));
    const std::set<fs::path::string_type> inputs(inputKeys.begin(), inputKeys.end());

    std::map<fs::path::string_type, std::size_t> claimedBy;   // output key -> first file that names it
    std::map<fs::path::string_type, std::size_t> givenFirst;  // input key -> first file that is it
    std::vector<OutputNameCheck> checks(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const NamedOutput& file = files[i];
        const fs::path::string_type key = keys.Of(file.output);
        checks[i].ownInput = key == inputKeys[i];
        // The same file given twice (a folder named twice, say): converted once.
        if (!givenFirst.try_emplace(inputKeys[i], i).second) {
            checks[i].refusal = FormatMessage("%s - given more than once, converted once", {file.displayName});
            continue;
        }
        // A file refused because its output is another input claims nothing: that other
        // input keeps its own output name (converted in place where the policy allows).
        if (key != inputKeys[i] && inputs.count(key) != 0) {
            checks[i].refusal = FormatMessage("%s - output name %s is another input of this batch, not converted",
                                              {file.displayName, file.outputName});
            continue;
        }
        const auto [claim, first] = claimedBy.try_emplace(key, i);
        if (!first)
            checks[i].refusal = FormatMessage("%s - same output name as %s, not converted",
                                              {file.displayName, files[claim->second].displayName});
    }
    return checks;
}

}  // namespace quorvel::batch
