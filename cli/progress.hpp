#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace quorvel::cli {

// A one-line progress bar, redrawn in place with a carriage return. Meant for a
// terminal; the caller decides whether there is one.
class ProgressBar {
public:
    ProgressBar(std::ostream& out, std::size_t total) : out_(out), total_(total) {}
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Draws the bar for done of total files over whatever the line held.
    void Show(std::size_t done);
    // Erases the bar, so that other output can start at the beginning of the line.
    void Clear();

    // The bar's text: "[#####     ] 3/6", width cells between the brackets.
    static std::string Render(std::size_t done, std::size_t total, std::size_t width = 30);

private:
    std::ostream& out_;
    std::size_t total_;
    bool shown_ = false;
    std::size_t shownWidth_ = 0;
};

// True when the standard error stream is a terminal.
bool StandardErrorIsTerminal() noexcept;

}  // namespace quorvel::cli
