#include "quorvel/engine/conversions.hpp"

#include <algorithm>
#include <array>
#include <cstring>
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
        LoadInput();
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
        InputTrackLength = TrackRemaining;
        if (ChunkFarPastFile()) return 4;
        // Each slot's last status byte written, 0 before its first.
        std::array<std::uint8_t, OutputTrackSlots + 1> slotStatus{};
        try {
            WalkTrack([this, &slotStatus](int slot, std::uint64_t delta, std::uint8_t status, const std::uint8_t* body,
                                          std::int64_t length) {
                std::int64_t& size = SlotSize[static_cast<std::size_t>(slot)];
                size += delta < 0x80 ? 1 : VarLenSize(static_cast<std::int32_t>(delta));
                std::uint8_t& last = slotStatus[static_cast<std::size_t>(slot)];
                if (status != last || status >= SysexStatus || body[0] >= 0x80) {
                    ++size;
                    last = status;
                }
                size += length;
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
        // One block: DistributeEvents writes every track through a pointer into it.
        Image.AllocateOutput(OutPos);
        MoveOutputWindow(OutPos + 1);

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
        ReadPos = FirstEventPos;
        TrackRemaining = InputTrackLength;
        // The output is one block (its size was known before it was taken): every track
        // is written through a pointer.
        std::array<std::uint8_t*, OutputTrackSlots + 1> cursor{};
        for (int slot = 1; slot <= OutputTrackSlots; ++slot)
            cursor[static_cast<std::size_t>(slot)] = OutData +
                                                     (SlotCursor[static_cast<std::size_t>(slot)] + 1 - OutFirst);
        std::array<std::uint8_t, OutputTrackSlots + 1> slotStatus{};
        try {
            WalkTrack([this, &cursor, &slotStatus](int slot, std::uint64_t delta, std::uint8_t status,
                                                   std::uint8_t* body, std::int64_t length) {
                std::uint8_t*& out = cursor[static_cast<std::size_t>(slot)];
                out = PutVarLen(out, static_cast<std::uint32_t>(delta));
                std::uint8_t& last = slotStatus[static_cast<std::size_t>(slot)];
                if (status != last || status >= SysexStatus || body[0] >= 0x80) {
                    *out++ = status;
                    last = status;
                }
                if (slot == LyricsSlot) {
                    // The lyric becomes a text event, each carriage return a '/'. Lyrics
                    // come through the checked reader, which set DataStart.
                    body[0] = MetaText;
                    for (Position p = DataStart; p <= ReadPos; ++p)
                        if (In[p - 1] == '\r') In[p - 1] = '/';
                }
                if (length <= 2) {
                    // Channel events, written without a call; the next track's bytes
                    // follow the slot's end, so nothing past the event is touched.
                    out[0] = body[0];
                    if (length == 2) out[1] = body[1];
                } else {
                    std::memcpy(out, body, static_cast<std::size_t>(length));
                }
                out += length;
            });
        } catch (const InputOverrun&) {
            return OverrunCode(6);
        }
        return EndCode(5, 6);
    }

private:
    // Walks the events of the input track from ReadPos on, calling
    // handle(slot, delta, status, body, length) for each once it is read whole: its
    // output slot, the time since the slot's last event, its status, the bytes after
    // the status byte (the meta type first for meta events) and their count. Both
    // walking passes go through here, so they decide alike. Channel events with a
    // one-byte delta and their bytes in the chunk and the input are read here through
    // a pointer; every other event by the checked reader.
    template <typename Handle>
    void WalkTrack(Handle handle) {
        std::uint8_t* const in = In;
        const Position chunkEnd = ReadPos + TrackRemaining;
        // Up to here a delta of one byte, a status byte and two data bytes lie in the
        // chunk and in the input.
        const Position safeEnd = std::min(chunkEnd, Image.InputSize) - 4;
        Position at = ReadPos;  // the byte before the event
        std::uint8_t running = 0;
        SlotClocks clocks;
        clocks.Reset();
        const auto take = [&](int slot) {
            const std::uint64_t delta = clocks.Take(slot);
            // A slot's delta that does not fit 4 bytes refuses the file.
            if (delta > LongestDelta) GapTooLong(delta);
            return delta;
        };
        while (at < chunkEnd) {
            if (at <= safeEnd) {
                const std::uint8_t delta = in[at];
                std::uint8_t status = in[at + 1];
                Position body = at + 2;  // index in `in` of the first byte after the status
                if (status < 0x80) {
                    status = running;
                    body = at + 1;
                }
                if (delta < 0x80 && static_cast<std::uint8_t>(status - 0x80) < 0x70) {
                    running = status;
                    const int length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure: 1
                    at = body + length;
                    clocks.Advance(delta);
                    const int slot = (status & 0x0F) + 4;
                    handle(slot, take(slot), status, in + body, length);
                    continue;
                }
            }
            ReadPos = at;
            TrackRemaining = chunkEnd - at;
            RunningStatus = running;
            ReadEvent(DeltaAtChunkEnd::Malformed);
            at = ReadPos;
            running = RunningStatus;
            clocks.Advance(EventDelta);
            const int slot = SplitSlotOf(Status, MetaType);
            handle(slot, take(slot), Status, in + (ReadPos - EventLength), EventLength);
        }
        ReadPos = at;
        TrackRemaining = chunkEnd - at;
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
    std::array<Position, OutputTrackSlots + 1> SlotCursor{};
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
