#include "progress.hpp"

#include <algorithm>

#ifdef _WIN32
#include "windows_console.hpp"
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
    const std::string bar = Render(done, total_);
    out_ << '\r' << bar << std::flush;
    shownWidth_ = bar.size();
    shown_ = true;
}

void ProgressBar::Clear() {
    if (!shown_) return;
#ifdef _WIN32
    // Consoles without terminal sequences turned on: blank the bar out.
    out_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
#else
    // Carriage return, then erase to the end of the line.
    out_ << "\r\x1b[K" << std::flush;
#endif
    shown_ = false;
}

bool StandardErrorIsTerminal() noexcept {
#ifdef _WIN32
    // A console, not merely a character device (NUL is one too).
    return IsConsole(2);
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace quorvel::cli
