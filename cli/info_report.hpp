#pragma once

#include <string>

#include "quorvel/engine/inspection.hpp"

namespace quorvel::cli {

// The report of one file, several lines each ending in a newline: the name and the
// header, then events per track, channels, lyrics and karaoke marker, and the problem.
std::string FormatInfo(const std::string& displayName, const engine::Inspection& info);

}  // namespace quorvel::cli
