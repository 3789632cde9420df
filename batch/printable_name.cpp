#include "quorvel/batch/printable_name.hpp"

#include <algorithm>

namespace quorvel::batch {
namespace {

// Length of the valid UTF-8 sequence that starts text, or 0 when it starts with a byte
// that begins none (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

void AppendHexEscape(std::string& out, unsigned char c) {
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0x0F];
}

// The code point of a valid UTF-8 sequence of length 2 or 3 at the start of text.
char32_t CodePoint(std::string_view text, std::size_t length) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[i])); };
    if (length == 2) return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
}

// The characters that change the direction of the text after them (marks, embeddings,
// overrides, isolates): a name holding one could show its line reversed.
bool IsBidiControl(char32_t c) noexcept {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendCodePointEscape(std::string& out, char32_t c) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0x0F];
}

}  // namespace

std::string PrintableName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t length = Utf8SequenceLength(name.substr(i));
        // U+0080 to U+009F: C2 80 to C2 9F, control characters some terminals act on.
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if (length == 0 || c1) {
            for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k)
                AppendHexEscape(out, static_cast<unsigned char>(name[i + k]));
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        if ((length == 2 || length == 3) && IsBidiControl(CodePoint(name.substr(i), length))) {
            AppendCodePointEscape(out, CodePoint(name.substr(i), length));
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
#ifndef _WIN32
        } else if (c == '\\') {
            out += "\\\\";
#endif
        } else if (c < 0x20 || c == 0x7F) {
            AppendHexEscape(out, c);
        } else {
            out.append(name.substr(i, length));
        }
        i += length;
    }
    return out;
}

bool IsValidUtf8(std::string_view text) noexcept {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace quorvel::batch
