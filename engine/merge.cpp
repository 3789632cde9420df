#include "quorvel/engine/conversions.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "quorvel/engine/errors.hpp"
#include "merge_order.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr std::int64_t MergeFirstOutput = 256 * FileImage::PageSize;

// One merge: the tracks' events in the order of their keys, each written to the single
// output track behind the input (or left out), with its delta time re-stated from the
// last written event.
class Merge : public SmfStream {
public:
    using SmfStream::SmfStream;

    int Run(const std::filesystem::path& inName, const std::filesystem::path& outName) {
        KaraokeSource = false;
        if (Image.OpenFiles(inName, outName) != 0) return 1;
        LoadInput();
        ReadPos = 1;
        CheckHeader();
        if (Format != 1) return 2;
        if (NumTracks > MergeMaxTracks) return 3;
        try {
            OpenOutputArea();
            ReadTrackTable();
            MergeEvents();
        } catch (const InputOverrun&) {
            Malformed("an event runs past the end of " + TrackName());
        }
        Finish();
        Image.SaveOutput();
        return 0;
    }

private:
    void OpenOutputArea() {
        // About the input's size to begin with (an output is usually close to it); more
        // as the events need it.
        Image.OutputSize = std::clamp<std::int64_t>(Image.InputSize, FileImage::PageSize, MergeFirstOutput);
        // Every byte of the output is written, in order, before it is saved.
        Image.ZeroOutput = false;
        Image.AllocateOutput(OutPos);
        MoveOutputWindow(OutPos + 1);
        WriteFileHeader(0, 1);
        OutPos += TrackHeaderSize;  // filled in at the end
        SetOutLimit();
        OutputStatus = 0;
        Now = 0;
        LastWritten = 0;
    }

    // Reads every chunk header, then each track's first delta, in track order.
    void ReadTrackTable() {
        SmfStream::ReadTrackTable([this] {
            const int n = CurrentTrack;
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            TrackStatus[n] = 0;
        });
        Order.Clear();
        for (int n = 1; n <= NumTracks; ++n) {
            if (TrackLeft[n] == 0) continue;
            CurrentTrack = n;
            ReadPos = TrackPos[n];
            TrackRemaining = TrackLeft[n];
            const bool eventFollows = ReadDelta(DeltaAtChunkEnd::EndsTrack);
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            if (eventFollows) Order.Add(n, MakeKey(EventDelta, 1, n));
        }
        Order.Build();
    }

    // Takes the events in key order. The top track's state lives in locals while it
    // stays on top (most events are followed by one of the same track), and so does
    // the output cursor: each byte written through a pointer could otherwise alias them.
    void MergeEvents() {
        while (!Order.Empty()) {
            const int n = Order.TopTrack();
            const EventKey key = Order.TopKey();
            if (KeyIsFault(key)) RaiseDeltaFault(n);
            if (!TakeRun(n, key)) {
                // The event needs the checked reader or writer: taken alone.
                Now = KeyTime(key);
                TakeEvent(n);
                ScheduleNext(n, key);
            }
        }
    }

    // Takes the events of the top track n, the first with key `key`, while they are
    // channel events with their data in the chunk, room in the output window and a
    // one-byte delta before each next one that keeps the track on top. Returns false,
    // having changed nothing, when the first event is not such an event; otherwise the
    // track's next key is in the order.
    bool TakeRun(int n, EventKey key) {
        // A channel event of track 2 after the karaoke marker is left out: not here.
        if (KaraokeSource && n == 2) return false;
        // The first key of another track, as time and order.
        const EventKey second = Order.SecondKey();
        const std::uint64_t secondTime = KeyTime(second);
        const auto secondOrder = static_cast<std::uint64_t>(second);
        std::uint64_t now = KeyTime(key);
        std::uint64_t order = static_cast<std::uint64_t>(key);  // round and track
        constexpr std::uint64_t OneRound = std::uint64_t{1} << KeyTrackBits;
        const std::uint64_t firstRound = OneRound | static_cast<unsigned>(n);

        const std::uint8_t* const in = In;
        const std::uint8_t* at = in + TrackPos[n];  // the event's first byte
        const std::uint8_t* const chunkEnd = at + TrackLeft[n];
        // Up to here a status byte and two data bytes lie in the chunk.
        const std::uint8_t* const wholeEnd = chunkEnd - 3;
        std::uint8_t running = TrackStatus[n];
        std::uint8_t outputStatus = OutputStatus;
        std::uint64_t lastWritten = LastWritten;
        std::uint8_t* const outStart = OutData + (OutPos + 1 - OutFirst);
        std::uint8_t* out = outStart;
        // The quick writer's room: an event takes at most 7 bytes (delta, status, data).
        std::uint8_t* const outEnd = OutData + (OutLimit - OutFirst + 1) - 7;
        bool first = true;
        bool eventPending = false;  // the run stopped before an event whose delta it read
        for (;;) {
            std::uint8_t status = *at;
            const std::uint8_t* data = at + 1;
            if (status < 0x80) {
                status = running;
                data = at;
            }
            const std::uint64_t carried = now - lastWritten;
            // A channel status (0x80 to 0xEF), its data in the chunk, a delta that fits
            // and room to write.
            if (static_cast<std::uint8_t>(status - 0x80) >= 0x70 || at > wholeEnd || carried > LongestDelta ||
                out > outEnd) {
                if (first) return false;
                eventPending = true;  // the checked path takes it, in its turn
                break;
            }
            first = false;
            const int length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure: 1
            running = status;
            at = data + length;
            // A track's last event is left out.
            if (at != chunkEnd) {
                out = PutVarLen(out, static_cast<std::uint32_t>(carried));
                if (status != outputStatus || data[0] >= 0x80) *out++ = status;
                outputStatus = status;
                out[0] = data[0];
                out[1] = data[length - 1];  // for a 1-byte event a byte the next write covers
                out += length;
                lastWritten = now;
                CopyVerbatim(at, out, now, order, running, second, firstRound, chunkEnd, outEnd);
                outputStatus = running;
                lastWritten = now;
            }
            // The next delta: one byte, the common case, here; longer ones and the end of
            // the track by ScheduleNext. The track stays on top while its next key is below
            // every other track's.
            if (at >= wholeEnd + 2 || *at >= 0x80) break;
            const std::uint32_t delta = *at;
            const std::uint64_t nextTime = now + delta;
            const std::uint64_t nextOrder = delta == 0 ? order + OneRound : firstRound;
            if (nextTime > secondTime || (nextTime == secondTime && nextOrder > secondOrder)) break;
            ++at;
            now = nextTime;
            order = nextOrder;
        }
        Now = now;
        key = static_cast<EventKey>(now) << 64 | order;
        TrackPos[n] = at - in;
        TrackLeft[n] = chunkEnd - at;
        TrackStatus[n] = running;
        OutputStatus = outputStatus;
        LastWritten = lastWritten;
        OutPos += out - outStart;
        if (eventPending)
            Order.ReplaceTop(key);
        else
            ScheduleNext(n, key);
        return true;
    }

    // After a written event of the top track, copies its following events as they stand
    // while the output would hold the same bytes: one-byte deltas (the time since the
    // event before, as written), channel events in running status or with a status byte
    // other than the last one (so that the output writes that byte too), not the
    // track's last event, each with a key below second, the first key of another track.
    // Finding where such a run ends is all the work per event; the run is then copied
    // at once. at (on the next delta), out, now, order and running move past the run.
    static void CopyVerbatim(const std::uint8_t*& at, std::uint8_t*& out, std::uint64_t& now, std::uint64_t& order,
                             std::uint8_t& running, EventKey second, std::uint64_t firstRound,
                             const std::uint8_t* chunkEnd, const std::uint8_t* outEnd) noexcept {
        constexpr std::uint64_t OneRound = std::uint64_t{1} << KeyTrackBits;
        const std::uint64_t secondTime = KeyTime(second);
        const auto secondOrder = static_cast<std::uint64_t>(second);
        const std::uint8_t* const start = at;
        // An event starting at or before scanEnd lies in the chunk with a byte after it
        // (so it is not the last) and fits the output's room (outEnd leaves 7 bytes).
        const std::uint8_t* scanEnd = chunkEnd - 5;
        if (outEnd - out + 3 < scanEnd - at) scanEnd = at + (outEnd - out + 3);
        std::uint64_t time = now;
        std::uint64_t round = order;
        std::uint8_t status = running;
        while (at <= scanEnd) {
            const std::uint8_t delta = at[0];
            if (delta >= 0x80) break;
            const std::uint64_t nextTime = time + delta;
            const std::uint64_t nextOrder = delta == 0 ? round + OneRound : firstRound;
            if (nextTime > secondTime || (nextTime == secondTime && nextOrder > secondOrder)) break;
            const std::uint8_t* p = at + 1;
            std::uint8_t next = status;
            if (*p >= 0x80) {
                next = *p;
                if (next >= SysexStatus || next == status) break;
                ++p;
            }
            p += (next & 0xE0) == 0xC0 ? 1 : 2;
            if (p >= chunkEnd) break;
            at = p;
            time = nextTime;
            round = nextOrder;
            status = next;
        }
        const auto copied = static_cast<std::size_t>(at - start);
        if (copied == 0) return;
        std::memcpy(out, start, copied);
        out += copied;
        now = time;
        order = round;
        running = status;
    }

    // Reads the next delta of track n (the top track), whose event with key taken was
    // just taken, and gives the track its next key; the track leaves the order when the
    // delta ends the chunk (or the event ended it). A delta that cannot be read is read
    // here without throwing and gets a fault key: RaiseDeltaFault reads it again to say
    // why, in its turn.
    void ScheduleNext(int n, EventKey taken) {
        std::int64_t left = TrackLeft[n];
        if (left == 0) return Order.RemoveTop();
        const Position at = TrackPos[n];
        std::uint32_t delta = In[at];
        std::int64_t used = 1;
        if (delta >= 0x80) {
            delta &= 0x7F;
            for (;;) {
                if (used == 4 || left - used <= 0 || at + used >= Image.InputSize)
                    return Order.ReplaceTop(FaultKey(taken, n));
                const std::uint8_t b = In[at + used];
                ++used;
                delta = (delta << 7) | (b & 0x7Fu);
                if (b < 0x80) break;
            }
        }
        left -= used;
        TrackLeft[n] = left;
        TrackPos[n] = at + used;
        // A delta that ends the chunk leaves the track without an event: it is done.
        if (left == 0) return Order.RemoveTop();
        Order.ReplaceTop(NextKey(taken, delta, n));
    }

    // The delta of track n could not be read: reads it again the checked way, which
    // throws the reason.
    [[noreturn]] void RaiseDeltaFault(int n) {
        CurrentTrack = n;
        ReadPos = TrackPos[n];
        TrackRemaining = TrackLeft[n];
        ReadDelta(DeltaAtChunkEnd::EndsTrack);
        // The checked read finds what the quick one found; should it not, the file is
        // still refused rather than merged wrongly.
        Malformed("a variable-length number in " + TrackName() + " cannot be read");
    }

    // Takes any event of track n with the checked reader.
    void TakeEvent(int n) {
        CurrentTrack = n;
        ReadPos = TrackPos[n];
        TrackRemaining = TrackLeft[n];
        RunningStatus = TrackStatus[n];
        ReadEventBody();
        TrackStatus[n] = RunningStatus;
        TrackLeft[n] = TrackRemaining;
        TrackPos[n] = ReadPos;

        const bool leftOut = MergeLeavesOut(n, KaraokeSource);
        bool lineBreak = false;
        if (Status == MetaStatus) {
            if (KaraokeSource && n == 3) {
                if (!RewriteAtText() && MetaType == MetaText) In[ReadPos - EventLength] = MetaLyric;
                if (DataLength > 0) {
                    const std::uint8_t first = In[DataStart - 1];
                    lineBreak = first == '\\' || first == '/';
                }
            }
        }
        if (leftOut) return;
        WriteEvent(lineBreak);
    }

    // An '@' text of track 3 stays a text event, shown as "* " in place of its first
    // two bytes. A text of one byte has no second byte to change and is left alone.
    bool RewriteAtText() {
        if (MetaType != MetaText || DataLength < 2 || In[DataStart - 1] != '@') return false;
        In[DataStart - 1] = '*';
        In[DataStart] = ' ';
        return true;
    }

    // Writes the event just read (Status, EventLength, ReadPos on its last byte) with the
    // checked writer, growing the output as it needs.
    void WriteEvent(bool lineBreak) {
        // The time since the last written event must fit a 4-byte delta.
        const std::uint64_t carried = Now - LastWritten;
        if (carried > LongestDelta) GapTooLong(carried);
        const auto delta = static_cast<std::int32_t>(carried);
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + 1 + EventLength +
                                    (lineBreak ? 4 : 0);
        if (needed > Image.OutputSize) GrowOutput(needed);
        if (lineBreak) {
            static constexpr std::uint8_t breakEvent[5] = {0x00, MetaStatus, MetaLyric, 0x01, '\r'};
            for (std::uint8_t b : breakEvent) Put(++OutPos, b);
        }
        WriteVarLen(delta);
        LastWritten = Now;
        if (NeedsStatusByte(OutputStatus)) Put(++OutPos, Status);
        OutputStatus = Status;
        if (lineBreak) {
            // A lyric without the leading '\' or '/'.
            Put(++OutPos, MetaLyric);
            WriteVarLen(DataLength - 1);
            CopyToOutput(DataStart + 1, OutPos + 1, DataLength - 1);
            OutPos += DataLength - 1;
        } else {
            CopyToOutput(ReadPos - EventLength + 1, OutPos + 1, EventLength);
            OutPos += EventLength;
        }
        if (OutPos + 1 > OutFirst + static_cast<Position>(OutSpan)) MoveOutputWindow(OutPos + 1);
        SetOutLimit();
    }

    void GrowOutput(std::int64_t needed) {
        Image.GrowOutput(needed);
        MoveOutputWindow(OutPos + 1);
        SetOutLimit();
    }

    // The last output position the quick writer may use: the end of the window and of
    // the output's room.
    void SetOutLimit() noexcept {
        OutLimit = std::min(OutFirst + static_cast<Position>(OutSpan) - 1, Image.OutputBase + Image.OutputSize);
    }

    // Closes the track with one end-of-track event. Its delta is the time carried since
    // the last written event, so the merged track lasts as long as the input's longest
    // track: events left out at the end (each track's own end-of-track event among them)
    // still take their time.
    void Finish() {
        const std::uint64_t carried = Now - LastWritten;
        if (carried > LongestDelta) GapTooLong(carried);
        const auto delta = static_cast<std::int32_t>(carried);
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + EndOfTrackSize - 1;
        if (needed > Image.OutputSize) Image.GrowOutput(needed);
        WriteVarLen(delta);
        for (std::uint8_t b : {MetaStatus, MetaEndOfTrack, std::uint8_t{0x00}}) Put(++OutPos, b);
        Image.OutputSize = OutPos - Image.OutputBase;
        OutPos = Image.OutputBase + HeaderChunkSize;
        WriteTrackHeader(Image.OutputSize - HeaderChunkSize - TrackHeaderSize);
    }

    // Per track (1 to NumTracks): the bytes left in its chunk, the position of the last
    // byte read and its running status.
    std::array<std::int64_t, MergeMaxTracks + 1> TrackLeft{};
    std::array<Position, MergeMaxTracks + 1> TrackPos{};
    std::array<std::uint8_t, MergeMaxTracks + 1> TrackStatus{};
    TrackHeap Order;
    std::uint64_t Now = 0;          // the time of the event taken last
    std::uint64_t LastWritten = 0;  // the time of the event written last
    Position OutLimit = 0;
    std::uint8_t OutputStatus = 0;
    bool KaraokeSource = false;
};

}  // namespace

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName, FileOps& ops) {
    Merge merge(ops);
    return merge.Run(inName, outName);
}

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    return ConvertToType0(inName, outName, SystemFileOps());
}

}  // namespace quorvel::engine
