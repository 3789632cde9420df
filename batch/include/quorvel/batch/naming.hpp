#pragma once

#include <filesystem>
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
std::string ComposePath(std::string_view directory, std::string_view name, char separator = PathSeparator);

// A file name as the file system spells it, cut at its first "." (as RemoveExt), with
// extension (ASCII, such as ".mid") appended: song.x.mid gives song.kar.
std::filesystem::path OutputFileName(const std::filesystem::path& name, std::string_view extension);

}  // namespace quorvel::batch
