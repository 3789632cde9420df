#include "quorvel/engine/conversions.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "quorvel/engine/errors.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr std::int64_t MergeFirstOutput = 256 * FileImage::PageSize;

// One merge: walks all tracks side by side in sweeps, each sweep advancing time to
// the next moment some track has an event and taking one event from every track due
// then, in track order. The output grows behind the input as it needs.
class Merge : public SmfStream {
public:
    using SmfStream::SmfStream;

    int Run(const std::filesystem::path& inName, const std::filesystem::path& outName) {
        KaraokeSource = false;
        if (Image.OpenFiles(inName, outName) != 0) return 1;
        Image.LoadInput();
        ReadPos = 1;
        CheckHeader();
        if (Format != 1) return 2;
        if (NumTracks > MergeMaxTracks) return 3;
        try {
            OpenOutputArea();
            ReadTrackTable();
            do Sweep();
            while (AnyTrackLive());
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
        Image.AllocateOutput(OutPos);
        WriteFileHeader(0, 1);
        OutPos += TrackHeaderSize;  // filled in at the end
        OutputStatus = 0;
        CarriedTime = 0;
    }

    // Reads every chunk header before the first event.
    void ReadTrackTable() {
        Now = 0;
        TakenCount = 0;
        TakenRound = -1;
        PendingCount = 0;
        SmfStream::ReadTrackTable([this] {
            const int n = CurrentTrack;
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            TrackStatus[n] = 0;
            // No delta is pending yet: the first sweep reads one for every track.
            Taken[TakenCount++] = static_cast<std::uint16_t>(n);
        });
    }

    bool AnyTrackLive() const {
        if (PendingCount != 0) return true;
        return std::any_of(Taken.begin(), Taken.begin() + TakenCount,
                           [this](std::uint16_t n) { return TrackLeft[n] != 0; });
    }

    // The schedule: every live track's next event, due at the sum of the steps so far
    // plus its delta. Time advances to the earliest due event, and every track due then
    // gives one event, in track order: a round. A track whose event was taken reads its
    // next delta only after the round; with a delta of 0 its next event is due at the
    // same time, in the next round. So events are taken in the order of (due time,
    // round, track), which a min-heap of pending events gives directly. Only the tracks
    // of the last round need a new delta, and they are refilled in track order, so the
    // input is read in the order a scan of all tracks at every step would read it.
    void Sweep() {
        // Refill: read the next delta of every live track whose event the last round took.
        for (int i = 0; i < TakenCount; ++i) {
            const int n = Taken[i];
            if (TrackLeft[n] == 0) continue;
            CurrentTrack = n;
            ReadPos = TrackPos[n];
            TrackRemaining = TrackLeft[n];
            const bool eventFollows = ReadDelta(DeltaAtChunkEnd::EndsTrack);
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            // A delta that ends the chunk leaves the track without an event: it is done.
            if (!eventFollows) continue;
            const std::int64_t round = EventDelta == 0 ? TakenRound + 1 : 0;
            Pending[PendingCount++] = {Now + EventDelta, static_cast<std::uint64_t>(round) << 16 | static_cast<std::uint64_t>(n)};
            std::push_heap(Pending.begin(), Pending.begin() + PendingCount, Later);
        }
        TakenCount = 0;
        // With no track live there is nothing to wait for: the time carried so far is
        // what the closing end-of-track event gets.
        if (PendingCount == 0) return;
        const PendingEvent first = Pending[0];
        CarriedTime += first.due - Now;
        Now = first.due;
        TakenRound = static_cast<std::int64_t>(first.roundAndTrack >> 16);
        // The round: every pending event of the same time and round, in track order.
        while (PendingCount > 0 && Pending[0].due == first.due &&
               Pending[0].roundAndTrack >> 16 == first.roundAndTrack >> 16) {
            Taken[TakenCount++] = static_cast<std::uint16_t>(Pending[0].roundAndTrack & 0xFFFF);
            std::pop_heap(Pending.begin(), Pending.begin() + PendingCount, Later);
            --PendingCount;
        }
        for (int i = 0; i < TakenCount; ++i) HandleEvent(Taken[i]);
    }

    void HandleEvent(int n) {
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
                if (!RewriteAtText() && MetaType == MetaText) Image.PutByte(ReadPos - EventLength + 1, MetaLyric);
                if (DataLength > 0) {
                    const std::uint8_t first = Image.GetByte(DataStart);
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
        if (MetaType != MetaText || DataLength < 2 || Image.GetByte(DataStart) != '@') return false;
        Image.PutByte(DataStart, '*');
        Image.PutByte(DataStart + 1, ' ');
        return true;
    }

    void WriteEvent(bool lineBreak) {
        // The time since the last written event must fit a 4-byte delta.
        if (CarriedTime > LongestDelta) GapTooLong(CarriedTime);
        const auto delta = static_cast<std::int32_t>(CarriedTime);
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + 1 + EventLength + (lineBreak ? 4 : 0);
        if (needed > Image.OutputSize) Image.GrowOutput(needed);
        if (lineBreak) {
            static constexpr std::uint8_t breakEvent[5] = {0x00, MetaStatus, MetaLyric, 0x01, '\r'};
            for (std::uint8_t b : breakEvent) Image.PutByte(++OutPos, b);
        }
        WriteVarLen(delta);
        CarriedTime = 0;
        if (NeedsStatusByte(OutputStatus)) Image.PutByte(++OutPos, Status);
        OutputStatus = Status;
        if (lineBreak) {
            // A lyric without the leading '\' or '/'.
            Image.PutByte(++OutPos, MetaLyric);
            WriteVarLen(DataLength - 1);
            Image.CopyBytes(DataStart + 1, OutPos + 1, DataLength - 1);
            OutPos += DataLength - 1;
        } else {
            Image.CopyBytes(ReadPos - EventLength + 1, OutPos + 1, EventLength);
            OutPos += EventLength;
        }
    }

    // Closes the track with one end-of-track event. Its delta is the time carried since
    // the last written event, so the merged track lasts as long as the input's longest
    // track: events left out at the end (each track's own end-of-track event among them)
    // still take their time.
    void Finish() {
        if (CarriedTime > LongestDelta) GapTooLong(CarriedTime);
        const auto delta = static_cast<std::int32_t>(CarriedTime);
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + EndOfTrackSize - 1;
        if (needed > Image.OutputSize) Image.GrowOutput(needed);
        WriteVarLen(delta);
        CarriedTime = 0;
        for (std::uint8_t b : {MetaStatus, MetaEndOfTrack, std::uint8_t{0x00}}) Image.PutByte(++OutPos, b);
        Image.OutputSize = OutPos - Image.OutputBase;
        OutPos = Image.OutputBase + HeaderChunkSize;
        WriteTrackHeader(Image.OutputSize - HeaderChunkSize - TrackHeaderSize);
    }

    std::array<std::int64_t, MergeMaxTracks + 1> TrackLeft{};
    std::array<Position, MergeMaxTracks + 1> TrackPos{};
    std::array<std::uint8_t, MergeMaxTracks + 1> TrackStatus{};
    // A track's next event: when it is due, and its round (upper bits) and track number
    // (lower 16 bits), which order events due at the same time.
    struct PendingEvent {
        std::uint64_t due;
        std::uint64_t roundAndTrack;
    };
    // Heap order: the earliest (due, round, track) on top.
    static bool Later(const PendingEvent& a, const PendingEvent& b) noexcept {
        return a.due != b.due ? a.due > b.due : a.roundAndTrack > b.roundAndTrack;
    }
    std::array<PendingEvent, MergeMaxTracks> Pending{};
    int PendingCount = 0;
    // The tracks whose event the last round took, in ascending order, and that round.
    std::array<std::uint16_t, MergeMaxTracks> Taken{};
    int TakenCount = 0;
    std::int64_t TakenRound = -1;
    std::uint64_t Now = 0;  // the due time of the last round
    // The time since the last written event: the sum of the steps since then.
    std::uint64_t CarriedTime = 0;
    std::uint8_t OutputStatus = 0;
    bool KaraokeSource = false;
};

}  // namespace

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName,
                   FileOps& ops) {
    Merge merge(ops);
    return merge.Run(inName, outName);
}

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    return ConvertToType0(inName, outName, SystemFileOps());
}

}  // namespace quorvel::engine
