#include "progress.hpp"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quorvel::cli {

std::string ProgressBar::Render(std::size_t done, std::size_t total, std::size_t width) {
    done = std::min(done, total);
    const std::size_t filled = total == 0 ? width : done * width / total;
    std::string bar = "[";
    bar.append(filled, '#');
    bar.append(width - filled, ' ');
    bar += "] " + std::to_string(done) + "/" + std::to_string(total);
    return bar;
}

void ProgressBar::Show(std::size_t done) {
    out_ << '\r' << Render(done, total_) << std::flush;
    shown_ = true;
}

void ProgressBar::Clear() {
    if (!shown_) return;
    // Carriage return, then erase to the end of the line.
    out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

bool StandardErrorIsTerminal() noexcept {
#ifdef _WIN32
    return _isatty(2) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace quorvel::cli
