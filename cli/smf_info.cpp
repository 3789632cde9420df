#include "smf_info.hpp"

#include <new>
#include <system_error>

#include "quorvel/engine/errors.hpp"
#include "karaoke.hpp"
#include "smf_stream.hpp"

namespace quorvel::cli {
namespace {

// Walks a loaded file event by event with the engine's primitives, the way the merge
// reads its tracks: running status carried within a track (and kept across system
// events), every event bounded by its chunk and by the file.
class Inspector : public engine::SmfStream {
public:
    void Run(const std::filesystem::path& path, SmfInfo& info) {
        if (Image.OpenFiles(path, {}) != 0) {
            info.readError = "Error opening file";
            return;
        }
        try {
            Image.LoadInput();
        } catch (const engine::EngineError& e) {
            info.readError = e.what();
            return;
        }
        try {
            ReadPos = 1;
            CheckHeader();
            info.headerRead = true;
            info.format = Format;
            info.tracks = NumTracks;
            info.division = Division;
            for (int n = 1; n <= NumTracks; ++n) {
                CurrentTrack = n;
                ReadTrackHeader();
                if (TrackRemaining < 0 || TrackRemaining > Image.InputSize - ReadPos)
                    Malformed(TrackName() + " runs past the end of the file");
                info.eventsPerTrack.push_back(WalkTrack(n, info));
            }
            info.trailingBytes = Image.InputSize - ReadPos;
        } catch (const engine::MalformedFile& e) {
            info.problem = e.Reason();
        } catch (const engine::InputOverrun&) {
            info.problem = "an event runs past the end of " + TrackName();
        }
    }

private:
    int WalkTrack(int n, SmfInfo& info) {
        int events = 0;
        std::uint8_t running = 0;
        while (TrackRemaining > 0) {
            ReadVarLen();
            if (TrackRemaining <= 0) {
                // A delta that ends the chunk: the merge ends the track there too.
                CheckTrackEnd();
                break;
            }
            Status = running;
            if (ReadStatus() == 0 && Status == 0)
                Malformed("a data byte stands where " + TrackName() + " needs a status byte");
            EventKind = Status >> 4;
            if (EventKind == 0xF) {
                SystemDataLength();
                if (Status == 0xFF) NoteMeta(n, info);
            } else {
                ChannelDataLength();
                info.channels = static_cast<std::uint16_t>(info.channels | (1u << (Status & 0x0F)));
                running = Status;
            }
            CheckTrackEnd();
            ++events;
        }
        return events;
    }

    void NoteMeta(int n, SmfInfo& info) const {
        if (MetaType == 0x05) ++info.lyricEvents;
        if (info.karaokeMarkerTrack == 0 && MetaType == 0x01 && IsKaraokeMarker()) info.karaokeMarkerTrack = n;
    }

    // The data of the meta event just read lies wholly in the input (SystemDataLength
    // skipped over it), so these reads stay inside the file.
    bool IsKaraokeMarker() const {
        if (DataLength != static_cast<std::int32_t>(engine::KaraokeMarker.size())) return false;
        for (std::size_t i = 0; i < engine::KaraokeMarker.size(); ++i)
            if (InputByte(DataStart + static_cast<engine::Position>(i)) !=
                static_cast<std::uint8_t>(engine::KaraokeMarker[i]))
                return false;
        return true;
    }
};

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

SmfInfo InspectFile(const std::filesystem::path& path) {
    SmfInfo info;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        // Opening a directory or a pipe would fail late or block; say so at once.
        info.readError = "not a regular file";
        return info;
    }
    try {
        Inspector inspector;
        inspector.Run(path, info);
    } catch (const std::bad_alloc&) {
        info = SmfInfo{};
        info.readError = "Out of memory";
    }
    return info;
}

std::string FormatInfo(const std::string& displayName, const SmfInfo& info) {
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
        text += "  lyrics: " + (info.lyricEvents == 0 ? std::string("none") : std::to_string(info.lyricEvents) +
                                                                                    " lyric events");
        text += "; karaoke marker: " + (info.karaokeMarkerTrack == 0
                                            ? std::string("no")
                                            : "yes, track " + std::to_string(info.karaokeMarkerTrack));
        text += "\n";
    }
    if (info.problem) {
        text += "  malformed: " + *info.problem + "\n";
    } else if (info.trailingBytes > 0) {
        text += "  " + std::to_string(info.trailingBytes) + " bytes follow the last track\n";
    }
    return text;
}

}  // namespace quorvel::cli
