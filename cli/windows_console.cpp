#include "windows_console.hpp"

#include <climits>
#include <iostream>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

namespace quorvel::cli {
namespace {

HANDLE StandardHandle(int n) noexcept { return GetStdHandle(n == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

// The length of the longest prefix of text that ends on a whole UTF-8 character.
std::size_t WholeCharacters(std::string_view text) noexcept {
    const std::size_t size = text.size();
    // Look back over at most three bytes for the start of the last character.
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

// A stream buffer that writes to a console with WriteConsoleW.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        text_ += traits_type::to_char_type(c);
        if (text_.size() >= 4096) sync();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        text_.append(s, static_cast<std::size_t>(n));
        if (text_.size() >= 4096) sync();
        return n;
    }
    int sync() override {
        if (text_.empty()) return 0;
        const std::wstring wide = ConsoleText(text_, pending_);
        text_.clear();
        const wchar_t* next = wide.data();
        std::size_t left = wide.size();
        while (left > 0) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
            if (!WriteConsoleW(console_, next, chunk, &written, nullptr) || written == 0) return -1;
            next += written;
            left -= written;
        }
        return 0;
    }

private:
    HANDLE console_;
    std::string text_;
    std::string pending_;
};

}  // namespace

std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(length > 0 ? static_cast<std::size_t>(length) : 1, '\0');
        if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), length, nullptr, nullptr);
        utf8.resize(utf8.size() - 1);  // the terminating NUL
        arguments.push_back(std::move(utf8));
    }
    LocalFree(wide);
    return arguments;
}

std::wstring ConsoleText(std::string_view text, std::string& pending) {
    std::string whole = pending + std::string(text);
    const std::size_t ready = WholeCharacters(whole);
    pending = whole.substr(ready);
    whole.resize(ready);
    if (whole.empty()) return {};
    const int size = static_cast<int>(whole.size() < INT_MAX ? whole.size() : INT_MAX);
    const int length = MultiByteToWideChar(CP_UTF8, 0, whole.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, whole.data(), size, wide.data(), length);
    std::wstring out;
    out.reserve(wide.size() + wide.size() / 16);
    for (const wchar_t c : wide) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

bool IsConsole(int n) noexcept {
    DWORD mode = 0;
    return GetConsoleMode(StandardHandle(n), &mode) != 0;
}

WindowsConsole::WindowsConsole() {
    if (IsConsole(1)) {
        std::cout.flush();
        out_ = std::make_unique<ConsoleBuffer>(StandardHandle(1));
        savedOut_ = std::cout.rdbuf(out_.get());
    }
    if (IsConsole(2)) {
        std::cerr.flush();
        err_ = std::make_unique<ConsoleBuffer>(StandardHandle(2));
        savedErr_ = std::cerr.rdbuf(err_.get());
    }
}

WindowsConsole::~WindowsConsole() {
    if (savedOut_) {
        std::cout.flush();
        std::cout.rdbuf(savedOut_);
    }
    if (savedErr_) {
        std::cerr.flush();
        std::cerr.rdbuf(savedErr_);
    }
}

}  // namespace quorvel::cli
