#include "quorvel/engine/conversions.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "quorvel/engine/errors.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr std::int32_t LongestStep = 0xFFFFFF;
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
        // Every byte of the output is written, in order, before it is saved.
        Image.ZeroOutput = false;
        Image.AllocateOutput(OutPos);
        WriteFileHeader(0, 1);
        OutPos += TrackHeaderSize;  // filled in at the end
        OutputStatus = 0;
        CarriedTime = 0;
    }

    // Reads every chunk header before the first event.
    void ReadTrackTable() {
        Now = 0;
        NextDue = Never;
        TakenCount = 0;
        BlockDue.fill(Never);
        SmfStream::ReadTrackTable([this] {
            const int n = CurrentTrack;
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            TrackDue[n] = Never;
            TrackStatus[n] = 0;
            // No delta is pending yet: the first sweep reads one for every track.
            Taken[TakenCount++] = static_cast<std::uint16_t>(n);
        });
    }

    bool AnyTrackLive() const {
        if (NextDue != Never) return true;
        return std::any_of(Taken.begin(), Taken.begin() + TakenCount,
                           [this](std::uint16_t n) { return TrackLeft[n] != 0; });
    }

    // Time is kept as each track's absolute due time (the sum of the steps so far plus
    // its pending delta) rather than as deltas counted down in every sweep. That is the
    // same schedule: a track's remaining delta is its due time minus Now, and it is due
    // when that reaches 0. Only the tracks that had an event in the last sweep need a
    // new delta, and those are remembered in ascending order, so the refill reads them
    // in the order the scan of all tracks would. Each block of 8 tracks keeps its
    // earliest due time, so the scan passes over blocks with nothing due.
    void Sweep() {
        // Refill: read the next delta of every live track whose event the last sweep took.
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
            const std::uint64_t due = Now + EventDelta;
            TrackDue[n] = due;
            std::uint64_t& blockDue = BlockDue[(n - 1) / BlockTracks];
            blockDue = std::min(blockDue, due);
            NextDue = std::min(NextDue, due);
        }
        // Step: the shortest wait of any live track, capped so that a long wait is
        // served over several sweeps.
        // With no track live there is nothing to wait for: the time carried so far is
        // what the closing end-of-track event gets.
        if (NextDue == Never) return;
        const std::uint64_t wait = NextDue - Now;
        const auto step = static_cast<std::int32_t>(std::min<std::uint64_t>(wait, LongestStep));
        CarriedTime += static_cast<std::uint32_t>(step);
        Now += static_cast<std::uint32_t>(step);
        TakenCount = 0;
        // A capped step reaches no track's due time; the earliest one stays as it is.
        if (static_cast<std::uint64_t>(step) != wait) return;
        // One scan finds the due tracks (in track order) and the earliest due time among
        // the others for the next sweep, then the due events are taken. The scan looks at
        // the earliest due time of each block of tracks and enters only the blocks where
        // a track is due now. Taking an event changes no due time, so finding them all
        // first takes the same events in the same order.
        const std::uint64_t now = Now;
        const int tracks = NumTracks;
        const int blocks = (tracks + BlockTracks - 1) / BlockTracks;
        std::uint64_t next = Never;
        int taken = 0;
        for (int b = 0; b < blocks; ++b) {
            if (BlockDue[b] != now) {
                next = std::min(next, BlockDue[b]);
                continue;
            }
            std::uint64_t rest = Never;
            const int last = std::min(tracks, (b + 1) * BlockTracks);
            for (int n = b * BlockTracks + 1; n <= last; ++n) {
                const std::uint64_t due = TrackDue[n];
                if (due == now) {
                    Taken[taken++] = static_cast<std::uint16_t>(n);
                    TrackDue[n] = Never;
                } else {
                    rest = std::min(rest, due);
                }
            }
            BlockDue[b] = rest;
            next = std::min(next, rest);
        }
        NextDue = next;
        TakenCount = taken;
        for (int i = 0; i < taken; ++i) HandleEvent(Taken[i]);
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
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + 1 + EventLength +
                                    (lineBreak ? 4 : 0);
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
    // The absolute time of each track's pending event; Never for a track that has none
    // pending (done, or its event taken and its next delta not read yet).
    std::array<std::uint64_t, MergeMaxTracks + 1> TrackDue{};
    std::array<Position, MergeMaxTracks + 1> TrackPos{};
    std::array<std::uint8_t, MergeMaxTracks + 1> TrackStatus{};
    static constexpr std::uint64_t Never = ~std::uint64_t{0};
    // The earliest due time in each block of BlockTracks tracks (tracks 1 to 8 form
    // block 0): a block without a track due now is passed over as a whole.
    static constexpr int BlockTracks = 8;
    std::array<std::uint64_t, MergeMaxTracks / BlockTracks> BlockDue{};
    // The tracks whose event the last sweep took, in ascending order.
    std::array<std::uint16_t, MergeMaxTracks> Taken{};
    int TakenCount = 0;
    std::uint64_t Now = 0;      // the sum of all steps so far
    std::uint64_t NextDue = 0;  // the earliest due time of a track not in Taken
    // The time since the last written event: the sum of the steps since then.
    std::uint64_t CarriedTime = 0;
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
