#include "info_report.hpp"

#include <cstdint>

namespace quorvel::cli {
namespace {

std::string ChannelList(std::uint16_t channels) {
    std::string text;
    for (int c = 0; c < 16; ++c) {
        if ((channels & (1u << c)) == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(c + 1);
    }
    return text.empty() ? "none" : text;
}

}  // namespace

std::string FormatInfo(const std::string& displayName, const engine::Inspection& info) {
    std::string text = displayName + ":";
    if (info.readError) return text + " " + *info.readError + "\n";
    if (info.headerRead) {
        text += " format " + std::to_string(info.format) + ", " + std::to_string(info.tracks) +
                (info.tracks == 1 ? " track" : " tracks") + ", division " + std::to_string(info.division);
    }
    text += "\n";
    if (info.headerRead) {
        text += "  events per track:";
        if (info.eventsPerTrack.empty()) text += " -";
        for (std::size_t i = 0; i < info.eventsPerTrack.size(); ++i)
            text += (i == 0 ? " " : ", ") + std::to_string(info.eventsPerTrack[i]);
        text += "\n  channels used: " + ChannelList(info.channels) + "\n";
        text += "  lyrics: " +
                (info.lyricEvents == 0 ? std::string("none") : std::to_string(info.lyricEvents) + " lyric events");
        text += "; karaoke marker: " + (info.karaokeMarkerTrack == 0
                                            ? std::string("no")
                                            : "yes, track " + std::to_string(info.karaokeMarkerTrack));
        text += "\n";
    }
    if (info.problem) {
        text += "  malformed: " + *info.problem + "\n";
    } else if (info.missingBytes > 0) {
        text += "  the track chunk reaches " + std::to_string(info.missingBytes) + " bytes past the end of the file\n";
    } else if (info.trailingBytes > 0) {
        text += "  " + std::to_string(info.trailingBytes) + " bytes follow the last track\n";
    }
    return text;
}

}  // namespace quorvel::cli
