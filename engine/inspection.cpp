#include "quorvel/engine/inspection.hpp"

#include <algorithm>
#include <new>
#include <utility>

#include "quorvel/engine/errors.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

// Walks a loaded file event by event with the conversions' reader, by the rules of the
// conversion that applies to it.
class Inspector : public SmfStream {
public:
    using SmfStream::SmfStream;

    void Run(const std::filesystem::path& path, Inspection& info) {
        if (Image.OpenFiles(path, {}) != 0) {
            info.readError = "Error opening file";
            return;
        }
        try {
            Image.LoadInput();
        } catch (const EngineError& e) {
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
            if (Format == 0 && NumTracks == 1)
                ReadBySplitRules(info);
            else
                ReadByMergeRules(info);
        } catch (const MalformedFile& e) {
            info.problem = e.Reason();
        } catch (const InputOverrun&) {
            info.problem = "an event runs past the end of " + TrackName();
        }
    }

private:
    // The merge reads every chunk header first, then the events; a delta that ends its
    // chunk ends the track. A file the merge converts must also have no gap between two
    // events of its output that 4 bytes cannot hold: the times of the events it writes
    // are gathered track by track and looked at in time order at the end.
    void ReadByMergeRules(Inspection& info) {
        std::vector<std::pair<Position, std::int64_t>> chunks;
        ReadTrackTable([&] { chunks.emplace_back(ReadPos, TrackRemaining); });
        const Position tableEnd = ReadPos;
        const bool merged = Format == 1 && NumTracks <= MergeMaxTracks;
        std::vector<std::uint64_t> written;
        std::uint64_t end = 0;  // when the longest track ends: the merged track's end
        bool karaokeSource = false;
        for (int n = 1; n <= NumTracks; ++n) {
            CurrentTrack = n;
            ReadPos = chunks[n - 1].first;
            TrackRemaining = chunks[n - 1].second;
            RunningStatus = 0;
            int events = 0;
            std::uint64_t time = 0;
            while (TrackRemaining > 0 && ReadEvent(DeltaAtChunkEnd::EndsTrack)) {
                Note(n, info);
                ++events;
                time += EventDelta;
                if (merged && !MergeLeavesOut(n, karaokeSource)) written.push_back(time);
            }
            info.eventsPerTrack.push_back(events);
            end = std::max(end, time);
        }
        info.trailingBytes = Image.InputSize - tableEnd;
        if (!merged || end <= LongestDelta) return;  // no gap can be longer
        written.push_back(end);                      // the closing end-of-track event
        std::sort(written.begin(), written.end());
        std::uint64_t previous = 0;
        for (const std::uint64_t time : written) {
            if (time - previous > LongestDelta) GapTooLong(time - previous);
            previous = time;
        }
    }

    // The split reads its one chunk up to its declared end, even past the end of the
    // file; a delta that ends the chunk is a fault, and so is a gap in one of its output
    // tracks that 4 bytes cannot hold. A chunk that reaches past the end of the file is
    // refused with a result code, not as malformed.
    void ReadBySplitRules(Inspection& info) {
        CurrentTrack = 1;
        ReadTrackHeader();
        const std::int64_t declared = TrackRemaining;
        const std::int64_t available = Image.InputSize - ReadPos;
        if (ChunkFarPastFile()) {
            info.missingBytes = declared - available;
            return;
        }
        SlotClocks slotTimes;
        slotTimes.Reset();
        RunningStatus = 0;
        int events = 0;
        try {
            while (TrackRemaining > 0) {
                ReadEvent(DeltaAtChunkEnd::Malformed);
                slotTimes.Advance(EventDelta);
                if (const std::uint64_t gap = slotTimes.Take(SplitSlotOf(Status, MetaType)); gap > LongestDelta)
                    GapTooLong(gap);
                Note(1, info);
                ++events;
            }
        } catch (const InputOverrun&) {
            if (declared <= available) throw;
            info.missingBytes = declared - available;
            return;
        }
        info.eventsPerTrack.push_back(events);
        info.trailingBytes = Image.InputSize - ReadPos;
    }

    void Note(int track, Inspection& info) const {
        if (EventKind != SystemKind) {
            info.channels = static_cast<std::uint16_t>(info.channels | (1u << (Status & 0x0F)));
            return;
        }
        if (Status != MetaStatus) return;
        if (MetaType == MetaLyric) ++info.lyricEvents;
        if (info.karaokeMarkerTrack == 0 && IsKaraokeMarker()) info.karaokeMarkerTrack = track;
    }
};

}  // namespace

Inspection InspectFile(const std::filesystem::path& path, FileOps& ops) {
    Inspection info;
    try {
        Inspector inspector(ops);
        inspector.Run(path, info);
    } catch (const std::bad_alloc&) {
        info = Inspection{};
        info.readError = "Out of memory";
    }
    return info;
}

}  // namespace quorvel::engine
