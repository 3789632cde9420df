#include "quorvel/batch/output_folders.hpp"

#include <algorithm>

namespace quorvel::batch {

namespace fs = std::filesystem;

OutputFolders::~OutputFolders() { RemoveEmpty(); }

bool OutputFolders::Make(const fs::path& folder, std::error_code& error) {
    // One at a time: a folder two files need is made once and noted once.
    const std::lock_guard lock(mutex_);
    error.clear();
    std::vector<fs::path> missing;
    for (fs::path p = folder; !p.empty() && p != p.parent_path(); p = p.parent_path()) {
        std::error_code ec;
        if (fs::is_directory(fs::status(p, ec))) break;  // a link to a folder serves too
        missing.push_back(p);
    }
    // Outermost first, each on its own: only a folder this run made is noted, never one
    // another run made meanwhile (which that run may be about to write into).
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (fs::create_directory(*it, error)) {
            made_.push_back(*it);
        } else if (error) {
            return false;
        }
    }
    return true;
}

void OutputFolders::RemoveEmpty() noexcept {
    try {
        const std::lock_guard lock(mutex_);
        // A folder's name is longer than its parent's: the longest first is deepest first.
        std::sort(made_.begin(), made_.end(),
                  [](const fs::path& a, const fs::path& b) { return a.native().size() > b.native().size(); });
        for (const fs::path& folder : made_) {
            std::error_code ec;
            if (fs::is_directory(fs::symlink_status(folder, ec)) && fs::is_empty(folder, ec) && !ec)
                fs::remove(folder, ec);
        }
        made_.clear();
    } catch (...) {
        // No memory to sort: the empty folders stay, nothing else is lost.
    }
}

}  // namespace quorvel::batch
