#include "input_list.hpp"

#include <algorithm>
#include <system_error>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/naming.hpp"

namespace quorvel::cli {
namespace {

std::string DisplayNameOf(const std::filesystem::path& path) {
    std::string name = batch::Utf8FromPath(path.filename());
    // "dir/" has an empty file name; show the argument itself then.
    return name.empty() ? batch::Utf8FromPath(path) : name;
}

bool ListedBefore(const InputFile& a, const InputFile& b) { return LessAsListed(a.displayName, b.displayName); }

// Appends the MIDI files of the directory at path (sorted), then, when recursive, those of
// its subfolders (sorted, depth first). folder is the directory's path relative to the
// folder argument ("" for the argument itself); name is how an error names it.
void ListDirectory(const std::filesystem::path& path, const std::string& folder, const std::string& parent,
                   const std::string& name, bool recursive, std::vector<InputFile>& files) {
    std::vector<InputFile> found;
    std::vector<InputFile> subfolders;
    std::error_code ec;
    std::filesystem::directory_iterator it(path, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string entry = batch::Utf8FromPath(it->path().filename());
        std::error_code statusError;
        // An entry that cannot be looked at (its path past the system's length limit,
        // say) may be a folder or a file of the batch: it gets its line, not silence.
        const auto unexamined = [&] {
            found.push_back({it->path(), entry, "cannot list the directory: " + statusError.message(), folder});
        };
        // A symbolic link to a folder is not a folder here: a tree is walked without
        // following links, so no loop and no folder outside it.
        const std::filesystem::file_status own = it->symlink_status(statusError);
        if (statusError && (recursive || HasMidiExtension(entry))) {
            unexamined();
            continue;
        }
        if (recursive && std::filesystem::is_directory(own)) {
            subfolders.push_back({it->path(), entry, std::nullopt, folder});
            continue;
        }
        if (!HasMidiExtension(entry)) continue;
        // The entry's own type from the listing: a look at the disk only for a link.
        if (it->is_directory(statusError)) continue;
        found.push_back({it->path(), entry, std::nullopt, folder});
    }
    if (ec) {
        files.push_back({path, name, "cannot list the directory: " + ec.message(), parent});
        return;
    }
    std::sort(found.begin(), found.end(), ListedBefore);
    files.insert(files.end(), found.begin(), found.end());
    std::sort(subfolders.begin(), subfolders.end(), ListedBefore);
    for (const InputFile& sub : subfolders) {
        const std::string below = folder.empty() ? sub.displayName : batch::ComposePath(folder, sub.displayName);
        ListDirectory(sub.path, below, folder, sub.displayName, recursive, files);
    }
}

}  // namespace

std::vector<InputFile> ExpandInputs(const std::vector<std::string>& arguments, bool recursive) {
    std::vector<InputFile> files;
    for (const std::string& argument : arguments) {
        const std::filesystem::path path = batch::PathFromUtf8(argument);
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            files.push_back({path, DisplayNameOf(path), std::nullopt});
            continue;
        }
        ListDirectory(path, "", "", argument, recursive, files);
    }
    return files;
}

}  // namespace quorvel::cli
