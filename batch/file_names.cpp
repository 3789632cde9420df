#include "quorvel/batch/file_names.hpp"

#include <algorithm>
#include <climits>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace quorvel::batch {
namespace {

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}
#else
char UpperAscii(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
#endif

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view text) {
#ifdef _WIN32
    return std::filesystem::path(WideFromUtf8(text));
#else
    return std::filesystem::path(std::string(text));
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return Utf8FromWide(path.native());
#else
    return path.native();
#endif
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
#ifdef _WIN32
    const std::wstring wa = WideFromUtf8(a);
    const std::wstring wb = WideFromUtf8(b);
    const int result = CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                            static_cast<int>(wb.size()), TRUE);
    return result == CSTR_LESS_THAN ? -1 : result == CSTR_GREATER_THAN ? 1 : 0;
#else
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
#endif
}

bool FileNameLess::operator()(std::string_view a, std::string_view b) const {
#if defined(_WIN32) || defined(__APPLE__)
    return CompareIgnoringCase(a, b) < 0;
#else
    return a < b;
#endif
}

namespace {

char LowerAscii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) noexcept {
    if (name.size() < suffix.size()) return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

}  // namespace

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

bool LessAsListed(std::string_view a, std::string_view b) {
#ifdef _WIN32
    // As Windows' own listings: every letter's case ignored, Ä and ä alike.
    const int order = CompareIgnoringCase(a, b);
    if (order != 0) return order < 0;
    return a < b;
#else
    return LessIgnoringAsciiCase(a, b);
#endif
}

}  // namespace quorvel::batch
