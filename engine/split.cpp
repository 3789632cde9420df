#include "quorvel/engine/conversions.hpp"

#include <array>
#include <cstdint>

#include "quorvel/engine/errors.hpp"
#include "karaoke.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr std::int32_t KaraokeHeaderBytes = 39;
constexpr std::int32_t LyricsHeaderBytes = 31;
constexpr Position FirstEventPos = HeaderChunkSize + TrackHeaderSize;  // the byte before the first event

// One split in three passes over the input track: measure every output track to the
// byte, lay the output out at its final size, then write each event straight to its
// final place. No per-track buffers.
class Split : public SmfStream {
public:
    using SmfStream::SmfStream;

    int Run(const std::filesystem::path& inName, const std::filesystem::path& outName) {
        KaraokeOutput = false;
        if (Image.OpenFiles(inName, outName) != 0) return 1;
        Image.LoadInput();
        if (const int code = MeasureSlots(); code != 0) return code;
        LayOutTracks();
        if (const int code = DistributeEvents(); code != 0) return code;
        Image.SaveOutput();
        return 0;
    }

    int MeasureSlots() {
        ReadPos = 1;
        CheckHeader();
        if (Format != 0 || NumTracks != 1) return 2;
        CurrentTrack = 1;
        ReadTrackHeader();
        SlotSize.fill(0);
        SlotTimes.Reset();
        SlotStatus.fill(0);
        InputTrackLength = TrackRemaining;
        if (ChunkFarPastFile()) return 4;
        try {
            WalkTrack([this] {
                std::int64_t& size = SlotSize[TargetSlot];
                size += VarLenSize(TakeSlotDelta(TargetSlot));
                if (NeedsStatusByte(SlotStatus[TargetSlot])) {
                    ++size;
                    SlotStatus[TargetSlot] = Status;
                }
                size += EventLength;
            });
        } catch (const InputOverrun&) {
            return OverrunCode(4);
        }
        return EndCode(3, 4);
    }

    void LayOutTracks() {
        NumTracks = 0;
        Image.OutputSize = 0;
        KaraokeOutput = SlotSize[LyricsSlot] != 0;
        if (KaraokeOutput) {
            SlotSize[KaraokeSlot] = KaraokeHeaderBytes;
            SlotSize[LyricsSlot] += LyricsHeaderBytes;
        }
        // Track 1 is always written; with no event of its own it gets just an
        // end-of-track event, so that the header's count and the chunks agree.
        const bool supplyEndOfTrack = SlotSize[SystemSlot] == 0;
        if (supplyEndOfTrack) SlotSize[SystemSlot] = EndOfTrackSize;
        for (int slot = 1; slot <= OutputTrackSlots; ++slot) {
            if (SlotSize[slot] != 0) ++NumTracks;
            Image.OutputSize += SlotSize[slot];
        }
        // Every track has a chunk header; all but track 1 get an end-of-track event here.
        Image.OutputSize += HeaderChunkSize + TrackHeaderSize + (TrackHeaderSize + EndOfTrackSize) * (NumTracks - 1);
        Image.AllocateOutput(OutPos);

        WriteFileHeader(1, NumTracks);
        WriteTrackHeader(SlotSize[SystemSlot]);
        SlotCursor[SystemSlot] = OutPos;
        if (supplyEndOfTrack) PutEndOfTrack(OutPos);
        OutPos += SlotSize[SystemSlot];
        for (int slot = 2; slot <= OutputTrackSlots; ++slot) {
            if (SlotSize[slot] == 0) continue;
            WriteTrackHeader(SlotSize[slot] + EndOfTrackSize);
            SlotCursor[slot] = OutPos;
            OutPos += SlotSize[slot];
            PutEndOfTrack(OutPos);
            OutPos += EndOfTrackSize;
        }
        if (KaraokeOutput) {
            OutPos = SlotCursor[KaraokeSlot];
            WriteMetaText(0, MetaTrackName, "Soft karaoke");
            WriteMetaText(0, MetaText, KaraokeMarker);
            OutPos = SlotCursor[LyricsSlot];
            WriteMetaText(0, MetaTrackName, "Words");
            WriteMetaText(0, MetaText, "@TLyrics");
            WriteMetaText(0, MetaText, "@LENGL");
            SlotCursor[LyricsSlot] = OutPos;
        }
    }

    int DistributeEvents() {
        OutPos = SlotCursor[SystemSlot];
        SlotStatus.fill(0);
        SlotTimes.Reset();
        ReadPos = FirstEventPos;
        TrackRemaining = InputTrackLength;
        try {
            WalkTrack([this] {
                OutPos = SlotCursor[TargetSlot];
                WriteVarLen(TakeSlotDelta(TargetSlot));
                if (NeedsStatusByte(SlotStatus[TargetSlot])) {
                    Image.PutByte(++OutPos, Status);
                    SlotStatus[TargetSlot] = Status;
                }
                if (TargetSlot == LyricsSlot) {
                    // The lyric becomes a text event, each carriage return a '/'.
                    Image.PutByte(ReadPos - EventLength + 1, MetaText);
                    for (Position p = DataStart; p <= ReadPos; ++p)
                        if (Image.GetByte(p) == '\r') Image.PutByte(p, '/');
                }
                Image.CopyBytes(ReadPos - EventLength + 1, OutPos + 1, EventLength);
                OutPos += EventLength;
                SlotCursor[TargetSlot] = OutPos;
            });
        } catch (const InputOverrun&) {
            return OverrunCode(6);
        }
        return EndCode(5, 6);
    }

private:
    // Walks the events of the input track from ReadPos on, calling handle for each
    // after it is read whole and TargetSlot is chosen. Both walking passes go through
    // here, so they decide alike.
    template <typename Handle>
    void WalkTrack(Handle handle) {
        RunningStatus = 0;
        while (TrackRemaining > 0) {
            ReadEvent(DeltaAtChunkEnd::Malformed);
            SlotTimes.Advance(EventDelta);
            TargetSlot = static_cast<std::uint16_t>(SplitSlotOf(Status, MetaType));
            handle();
        }
    }

    // Result code for a walk that ran past the input's last byte: the declared length
    // reaches past the file (beyondCode), or, when the chunk fits the file, an event
    // runs past its chunk.
    int OverrunCode(int beyondCode) const {
        if (InputTrackLength > Image.InputSize - FirstEventPos) return beyondCode;
        Malformed("an event runs past the end of " + TrackName());
    }

    int EndCode(int bytesLeftCode, int beyondCode) const {
        if (ReadPos < Image.InputSize) return bytesLeftCode;
        if (ReadPos > Image.InputSize) return beyondCode;
        return 0;
    }

    void PutEndOfTrack(Position after) noexcept {
        Image.PutByte(after + 1, 0x00);
        Image.PutByte(after + 2, MetaStatus);
        Image.PutByte(after + 3, MetaEndOfTrack);
        Image.PutByte(after + 4, 0x00);
    }

    std::array<std::int64_t, OutputTrackSlots + 1> SlotSize{};
    // A slot's pending delta; one that does not fit 4 bytes refuses the file.
    std::int32_t TakeSlotDelta(int slot) {
        const std::uint64_t delta = SlotTimes.Take(slot);
        if (delta > LongestDelta) GapTooLong(delta);
        return static_cast<std::int32_t>(delta);
    }

    SlotClocks SlotTimes;
    std::array<Position, OutputTrackSlots + 1> SlotCursor{};
    std::array<std::uint8_t, OutputTrackSlots + 1> SlotStatus{};
    std::uint16_t TargetSlot = 0;
    std::int64_t InputTrackLength = 0;
    bool KaraokeOutput = false;
};

}  // namespace

int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName, FileOps& ops) {
    Split split(ops);
    return split.Run(inName, outName);
}

int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    return ConvertToType1(inName, outName, SystemFileOps());
}

}  // namespace quorvel::engine
