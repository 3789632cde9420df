#include "quorvel/engine/conversions.hpp"

#include <array>
#include <cstdint>

#include "quorvel/engine/errors.hpp"
#include "karaoke.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr int SlotCount = 19;
constexpr int SystemSlot = 1;
constexpr int KaraokeSlot = 2;
constexpr int LyricsSlot = 3;
constexpr std::int32_t KaraokeHeaderBytes = 39;
constexpr std::int32_t LyricsHeaderBytes = 31;
constexpr Position FirstEventPos = 22;  // the byte before the first event of the track

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
        ResetSlotTimes();
        SlotStatus.fill(0);
        InputTrackLength = TrackRemaining;
        if (InputTrackLength < 0) return 4;  // a declared length of 2^31 or more
        try {
            WalkTrack([this] {
                std::int32_t& size = SlotSize[TargetSlot];
                size += VarLenSize(TakeSlotDelta(TargetSlot));
                if (SlotStatus[TargetSlot] != Status || EventKind == 0xF) {
                    ++size;
                    SlotStatus[TargetSlot] = Status;
                }
                size += NextEventLength();
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
        if (supplyEndOfTrack) SlotSize[SystemSlot] = 4;
        for (int slot = 1; slot <= SlotCount; ++slot) {
            if (SlotSize[slot] != 0) ++NumTracks;
            Image.OutputSize += SlotSize[slot];
        }
        Image.OutputSize += 14 + 8 + 12 * (NumTracks - 1);
        Image.AllocateOutput(OutPos);

        WriteFileHeader(1, NumTracks);
        WriteTrackHeader(SlotSize[SystemSlot]);
        SlotCursor[SystemSlot] = OutPos;
        if (supplyEndOfTrack) PutEndOfTrack(OutPos);
        OutPos += SlotSize[SystemSlot];
        for (int slot = 2; slot <= SlotCount; ++slot) {
            if (SlotSize[slot] == 0) continue;
            WriteTrackHeader(SlotSize[slot] + 4);
            SlotCursor[slot] = OutPos;
            OutPos += SlotSize[slot];
            PutEndOfTrack(OutPos);
            OutPos += 4;
        }
        if (KaraokeOutput) {
            OutPos = SlotCursor[KaraokeSlot];
            WriteMetaText(0, 3, "Soft karaoke");
            WriteMetaText(0, 1, KaraokeMarker);
            OutPos = SlotCursor[LyricsSlot];
            WriteMetaText(0, 3, "Words");
            WriteMetaText(0, 1, "@TLyrics");
            WriteMetaText(0, 1, "@LENGL");
            SlotCursor[LyricsSlot] = OutPos;
        }
    }

    int DistributeEvents() {
        OutPos = SlotCursor[SystemSlot];
        SlotStatus.fill(0);
        ResetSlotTimes();
        ReadPos = FirstEventPos;
        TrackRemaining = InputTrackLength;
        try {
            WalkTrack([this] {
                OutPos = SlotCursor[TargetSlot];
                WriteVarLen(TakeSlotDelta(TargetSlot));
                if (SlotStatus[TargetSlot] != Status || EventKind == 0xF) {
                    Image.PutByte(++OutPos, Status);
                    SlotStatus[TargetSlot] = Status;
                }
                NextEventLength();
                if (TargetSlot == LyricsSlot) {
                    // The lyric becomes a text event, each carriage return a '/'.
                    Image.PutByte(ReadPos - EventLength + 1, 0x01);
                    for (Position p = DataStart; p <= ReadPos; ++p)
                        if (Image.GetByte(p) == 0x0D) Image.PutByte(p, '/');
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
    // after its delta and status are read and TargetSlot is chosen; handle consumes the
    // rest of the event. Both walking passes go through here, so they decide alike.
    template <typename Handle>
    void WalkTrack(Handle handle) {
        Status = 0;
        std::uint8_t channelStatus = 0;
        while (TrackRemaining > 0) {
            EventDelta = ReadVarLen();
            SlotClock += static_cast<std::uint32_t>(EventDelta);
            if (TrackRemaining <= 0) Malformed("a delta time ends " + TrackName() + " without its event");
            if (ReadStatus() == 0) {
                // Running status: the last channel status, also after a meta or
                // system-exclusive event.
                if (channelStatus == 0)
                    Malformed("a data byte stands where " + TrackName() + " needs a status byte");
                Status = channelStatus;
            } else if (Status < 0xF0) {
                channelStatus = Status;
            }
            ChooseSlot();
            handle();
            if (TrackRemaining <= 0) CheckTrackEnd();
        }
    }

    void ChooseSlot() {
        EventKind = Status >> 4;
        TargetSlot = static_cast<std::uint16_t>((Status & 0x0F) + 4);
        if (EventKind == 0xF) {
            TargetSlot = SystemSlot;
            if (Status == 0xFF && InputByte(ReadPos + 1) == 0x05) TargetSlot = LyricsSlot;
        }
    }

    std::int32_t NextEventLength() {
        return EventKind == 0xF ? SystemDataLength() : ChannelDataLength();
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
        Image.PutByte(after + 2, 0xFF);
        Image.PutByte(after + 3, 0x2F);
        Image.PutByte(after + 4, 0x00);
    }

    std::array<std::int32_t, SlotCount + 1> SlotSize{};
    // Every slot's pending delta is the time since its last event: the clock (the sum
    // of all deltas read, modulo 2^32) minus the clock at that event. One addition per
    // event instead of one per slot, with the same wrapping 32-bit sums.
    void ResetSlotTimes() noexcept {
        SlotClock = 0;
        SlotLastEvent.fill(0);
    }
    std::int32_t TakeSlotDelta(int slot) noexcept {
        const auto delta = static_cast<std::int32_t>(SlotClock - SlotLastEvent[slot]);
        SlotLastEvent[slot] = SlotClock;
        return delta;
    }

    std::array<std::uint32_t, SlotCount + 1> SlotLastEvent{};
    std::uint32_t SlotClock = 0;
    std::array<Position, SlotCount + 1> SlotCursor{};
    std::array<std::uint8_t, SlotCount + 1> SlotStatus{};
    std::uint16_t TargetSlot = 0;
    std::int32_t EventDelta = 0;
    std::int32_t InputTrackLength = 0;
    bool KaraokeOutput = false;
};

}  // namespace

int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName,
                   FileOps& ops) {
    Split split(ops);
    return split.Run(inName, outName);
}

int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    return ConvertToType1(inName, outName, SystemFileOps());
}

}  // namespace quorvel::engine
