#pragma once

#include <string>
#include <string_view>

namespace quorvel::batch {

// A name as quorvel-cli prints it, so that one line stays one line and sends no terminal
// codes: a tab, line feed or carriage return becomes \t, \n or \r; every other control
// character (below 0x20, 0x7F, and U+0080 to U+009F), and each byte that is not part of
// valid UTF-8, becomes \x and two hex digits per byte (\x1b, \xc2\x9b, \xff); a
// backslash becomes \\ except on Windows, where it separates folders; a character that
// turns the direction of the text (U+200E, U+202E and kin) becomes \u and four hex digits
// (\u202E), so no line shows reversed. Other text is kept as it is.
std::string PrintableName(std::string_view name);

// True when text is valid UTF-8 throughout (no stray byte, overlong form or surrogate).
bool IsValidUtf8(std::string_view text) noexcept;

}  // namespace quorvel::batch
