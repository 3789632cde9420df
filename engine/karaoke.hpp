#pragma once

#include <string_view>

namespace quorvel::engine {

// The text event that marks a karaoke file; the merge looks for it in track 2 and the
// split writes it into its karaoke header track.
inline constexpr std::string_view KaraokeMarker = "@KMIDI KARAOKE FILE";

}  // namespace quorvel::engine
