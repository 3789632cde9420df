#pragma once

#include <string>
#include <string_view>

namespace quorvel::batch {

// The platform's directory separator.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

// The name cut at its first ".": song.mid gives song, my.song.mid gives my, song stays
// song, .mid gives an empty name.
std::string RemoveExt(std::string_view name);

// directory and name joined by one separator; a directory that already ends with one
// (a root such as C:\ or /) gets none added.
std::string ComposePath(std::string_view directory, std::string_view name,
                        char separator = PathSeparator);

// The replacement test: equal after upper-casing a to z only, character by character.
// Looks at the two texts, never at the disk.
bool SamePathIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept;

}  // namespace quorvel::batch
