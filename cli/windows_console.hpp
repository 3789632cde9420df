#pragma once

// Windows only: UTF-8 arguments and UTF-8 output on the Windows console.

#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::cli {

// The program's arguments as UTF-8, read from the system's UTF-16 command line (not
// from the narrow argv, which holds them in the ANSI code page).
std::vector<std::string> Utf8Arguments();

// UTF-8 text for the console as UTF-16, each line feed written as CR LF. A character
// cut at the end of text waits in pending (owned by the caller) for the next piece;
// invalid bytes become U+FFFD.
std::wstring ConsoleText(std::string_view text, std::string& pending);

// While alive, std::cout and std::cerr reach a console through WriteConsoleW, so that
// every character shows whatever the console's code page; output to a file or a pipe
// stays UTF-8 bytes with CR LF line ends (the C runtime's text mode). Restores the
// streams, flushed, when destroyed.
class WindowsConsole {
public:
    WindowsConsole();
    ~WindowsConsole();
    WindowsConsole(const WindowsConsole&) = delete;
    WindowsConsole& operator=(const WindowsConsole&) = delete;

private:
    std::unique_ptr<std::streambuf> out_, err_;
    std::streambuf* savedOut_ = nullptr;
    std::streambuf* savedErr_ = nullptr;
};

// True when handle number n (1 standard output, 2 standard error) is a console.
bool IsConsole(int n) noexcept;

}  // namespace quorvel::cli
