#include "quorvel/engine/inspection.hpp"

#include <algorithm>
#include <new>
#include <utility>

#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_limit.hpp"
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
            LoadInput();
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
        } catch (const FileTooLarge& e) {
            info.readError = e.what();
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
        std::uint64_t end = 0;  // when the longest track ends: the merged track's end
        int events = 0;
        WalkTracks(
            chunks,
            [&](int n, std::uint64_t time, bool) {
                Note(n, info);
                ++events;
                end = std::max(end, time);
            },
            [&] {
                info.eventsPerTrack.push_back(events);
                events = 0;
            });
        info.trailingBytes = Image.InputSize - tableEnd;
        if (!merged || end <= LongestDelta) return;  // no gap can be longer
        CheckMergedGaps(chunks, end);
    }

    // Reads every track's events by the merge's rules, in track order, and calls
    // onEvent(track, time, kept) for each (its time from the track's start and whether
    // the merge writes it) and trackEnd() after each track read to its end.
    template <class OnEvent, class TrackEnd>
    void WalkTracks(const std::vector<std::pair<Position, std::int64_t>>& chunks, OnEvent&& onEvent,
                    TrackEnd&& trackEnd) {
        bool karaokeSource = false;
        for (int n = 1; n <= NumTracks; ++n) {
            CurrentTrack = n;
            ReadPos = chunks[static_cast<std::size_t>(n - 1)].first;
            TrackRemaining = chunks[static_cast<std::size_t>(n - 1)].second;
            RunningStatus = 0;
            std::uint64_t time = 0;
            while (TrackRemaining > 0 && ReadEvent(DeltaAtChunkEnd::EndsTrack)) {
                time += EventDelta;
                onEvent(n, time, !MergeLeavesOut(n, karaokeSource));
            }
            trackEnd();
        }
    }

    // The merged track must have no gap between two of its events (its start and its
    // closing end-of-track event included) that 4 bytes cannot hold. The times are kept
    // in slots of LongestDelta + 1 ticks, each slot's earliest and latest: a gap inside
    // a slot is short enough, so only the gaps from one used slot to the next need a look.
    // The slots take a fixed share of the file's size at most (a file needs an event per
    // slot to reach the end), and they are counted against the memory limit with the file.
    void CheckMergedGaps(const std::vector<std::pair<Position, std::int64_t>>& chunks, std::uint64_t end) {
        constexpr std::uint64_t width = std::uint64_t{LongestDelta} + 1;
        const std::uint64_t slots = end / width + 1;
        struct Slot {
            std::uint32_t first = UINT32_MAX;  // offsets in the slot; first > last: unused
            std::uint32_t last = 0;
        };
        const std::uint64_t limit = MemoryLimit();
        const std::uint64_t input = static_cast<std::uint64_t>(Image.InputSize);
        if (slots > (limit - std::min(limit, input)) / sizeof(Slot)) throw FileTooLarge(limit);
        std::vector<Slot> used(static_cast<std::size_t>(slots));
        const auto put = [&](std::uint64_t time) {
            Slot& slot = used[static_cast<std::size_t>(time / width)];
            const auto offset = static_cast<std::uint32_t>(time % width);
            slot.first = std::min(slot.first, offset);
            slot.last = std::max(slot.last, offset);
        };
        put(0);    // the merged track's start
        put(end);  // its closing end-of-track event
        WalkTracks(
            chunks,
            [&](int, std::uint64_t time, bool kept) {
                if (kept) put(time);
            },
            [] {});
        std::uint64_t previous = 0;
        for (std::uint64_t k = 0; k < slots; ++k) {
            const Slot& slot = used[static_cast<std::size_t>(k)];
            if (slot.first > slot.last) continue;
            const std::uint64_t first = k * width + slot.first;
            if (first - previous > LongestDelta) GapTooLong(first - previous);
            previous = k * width + slot.last;
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
        std::uint64_t now = 0;
        RunningStatus = 0;
        int events = 0;
        try {
            while (TrackRemaining > 0) {
                ReadEvent(DeltaAtChunkEnd::Malformed);
                now += EventDelta;
                if (const std::uint64_t gap = slotTimes.Take(SplitSlotOf(Status, MetaType), now); gap > LongestDelta)
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
