#include "quorvel/engine/conversions.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <vector>

#include "quorvel/engine/errors.hpp"
#include "karaoke.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr std::int32_t KaraokeHeaderBytes = 39;
constexpr std::int32_t LyricsHeaderBytes = 31;
constexpr Position FirstEventPos = HeaderChunkSize + TrackHeaderSize;  // the byte before the first event

// The first block of a slot's output and the largest: a slot's blocks double up to
// SlotBlockMost, so a slot of a small file takes one small block and the room taken and
// not used stays below one block per slot.
constexpr std::uint64_t SlotBlockFirst = 4096;
constexpr std::uint64_t SlotBlockMost = std::uint64_t{1} << 20;

// One split in one pass over the input track: each event is written straight into the
// blocks of its output track's slot; the file is then saved as its headers and those
// blocks in track order, without copying the tracks together.
class Split : public SmfStream {
public:
    using SmfStream::SmfStream;

    int Run(const std::filesystem::path& inName, const std::filesystem::path& outName) {
        if (Image.OpenFiles(inName, outName) != 0) return 1;
        LoadInput();
        ReadPos = 1;
        CheckHeader();
        if (Format != 0 || NumTracks != 1) return 2;
        CurrentTrack = 1;
        ReadTrackHeader();
        InputTrackLength = TrackRemaining;
        if (ChunkFarPastFile()) return 4;
        try {
            WriteSlots();
        } catch (const InputOverrun&) {
            return OverrunCode(4);
        }
        if (const int code = EndCode(3, 4); code != 0) return code;
        SaveTracks();
        return 0;
    }

private:
    // Writes every event of the input track into its slot's blocks, as the event (with
    // its delta from the slot's last event and its status byte unless the slot's last
    // event had the same) will stand in the output. Channel events whose bytes lie in the
    // chunk and the input are read here through a pointer; every other event, and any
    // fault, by the checked reader. The walk's state stays in locals: the output bytes
    // written through pointers could otherwise alias it.
    void WriteSlots() {
        // The block each slot is writing: its next byte and its end.
        std::array<std::uint8_t*, OutputTrackSlots + 1> cursor{};
        std::array<std::uint8_t*, OutputTrackSlots + 1> end{};
        // Each slot's last status byte written, 0 before its first.
        std::array<std::uint8_t, OutputTrackSlots + 1> slotStatus{};
        SlotClocks clocks;
        clocks.Reset();
        std::uint64_t now = 0;  // the sum of the deltas read
        // The slot's delta for an event now; a delta that does not fit 4 bytes refuses
        // the file.
        const auto takeDelta = [&](std::size_t s) {
            const std::uint64_t delta = clocks.Take(static_cast<int>(s), now);
            if (delta > LongestDelta) GapTooLong(delta);
            return static_cast<std::uint32_t>(delta);
        };
        std::uint8_t* const in = In;
        const std::uint8_t* p = in + ReadPos;  // the event's first byte
        const std::uint8_t* const chunkEnd = p + TrackRemaining;
        // Up to here a delta of 4 bytes, a status byte and two data bytes lie in the
        // chunk and in the input.
        const std::uint8_t* const safeEnd = in + std::min(ReadPos + TrackRemaining, Image.InputSize) - 7;
        // Room in the slot's block for an event of length bytes after the status byte,
        // with a delta of at most 4 bytes and a status byte.
        const auto makeRoom = [&](std::size_t s, std::int64_t length) {
            if (end[s] - cursor[s] >= length + 5) return;
            cursor[s] = NextBlock(static_cast<int>(s), length + 5, cursor[s], chunkEnd - p);
            end[s] = cursor[s] + BlockRoom[s];
        };

        std::uint8_t running = 0;
        for (;;) {
            while (p <= safeEnd) {
                std::uint32_t delta = p[0];
                const std::uint8_t* q = p + 1;  // the byte after the delta
                if (delta >= 0x80) {
                    delta &= 0x7F;
                    std::uint8_t b = 0x80;
                    for (int n = 1; n < 4 && b >= 0x80; ++n) {
                        b = *q++;
                        delta = (delta << 7) | (b & 0x7Fu);
                    }
                    // Longer than 4 bytes: the checked reader refuses it.
                    if (b >= 0x80) break;
                }
                std::uint8_t status = *q;
                if (status >= 0x80)
                    ++q;
                else
                    status = running;
                if (static_cast<std::uint8_t>(status - 0x80) >= 0x70) break;  // not a channel event
                running = status;
                now += delta;
                const std::size_t s = (status & 0x0Fu) + 4;
                const std::uint32_t slotDelta = takeDelta(s);
                makeRoom(s, 2);
                std::uint8_t* out = PutDelta(cursor[s], slotDelta);
                if (status != slotStatus[s] || q[0] >= 0x80) {
                    *out++ = status;
                    slotStatus[s] = status;
                }
                // Both data bytes lie in the input and the block has room for them; the
                // second of a one-byte event (program change, channel pressure) is not
                // part of it and is written over next.
                out[0] = q[0];
                out[1] = q[1];
                const int length = (status & 0xE0) == 0xC0 ? 1 : 2;
                cursor[s] = out + length;
                p = q + length;
            }
            if (p >= chunkEnd) break;
            const Position last = ReadOtherEvent(p - in, chunkEnd - p, running);
            running = RunningStatus;
            now += EventDelta;
            const auto s = static_cast<std::size_t>(SplitSlotOf(Status, MetaType));
            const std::uint32_t slotDelta = takeDelta(s);
            makeRoom(s, EventLength);
            std::uint8_t* out = PutDelta(cursor[s], slotDelta);
            const std::uint8_t* body = in + (last - EventLength);
            if (Status != slotStatus[s] || Status >= SysexStatus || body[0] >= 0x80) {
                *out++ = Status;
                slotStatus[s] = Status;
            }
            std::memcpy(out, body, static_cast<std::size_t>(EventLength));
            cursor[s] = out + EventLength;
            p = in + last;
        }
        ReadPos = p - in;
        TrackRemaining = chunkEnd - p;
        for (int slot = 1; slot <= OutputTrackSlots; ++slot) CloseBlock(slot, cursor[static_cast<std::size_t>(slot)]);
    }

    // Reads the event after position at (the byte before it) with the checked reader,
    // with left bytes of the chunk from there on and the running status before it;
    // returns the position of its last byte. A lyric becomes a text event, each carriage
    // return in it a '/'. Kept out of the walk's loop, whose registers it would take.
    [[gnu::noinline]] Position ReadOtherEvent(Position at, std::int64_t left, std::uint8_t running) {
        ReadPos = at;
        TrackRemaining = left;
        RunningStatus = running;
        ReadEvent(DeltaAtChunkEnd::Malformed);
        if (SplitSlotOf(Status, MetaType) == LyricsSlot) {
            In[ReadPos - EventLength] = MetaText;
            for (Position p = DataStart; p <= ReadPos; ++p)
                if (In[p - 1] == '\r') In[p - 1] = '/';
        }
        return ReadPos;
    }

    // A slot's delta as a variable-length quantity (below 2^28) at out; returns the byte
    // after it. One and two bytes, the common cases, without a loop.
    static std::uint8_t* PutDelta(std::uint8_t* out, std::uint32_t value) noexcept {
        if (value < 0x80) {
            out[0] = static_cast<std::uint8_t>(value);
            return out + 1;
        }
        if (value < 0x4000) {
            out[0] = static_cast<std::uint8_t>(0x80 | value >> 7);
            out[1] = static_cast<std::uint8_t>(value & 0x7F);
            return out + 2;
        }
        return PutVarLen(out, value);
    }

    // The slot's block is full up to cursor: it becomes a piece of the slot, and a new
    // block of at least need bytes (BlockRoom) takes its place; inputLeft bytes of the
    // input are still to be read. Returns its first byte.
    std::uint8_t* NextBlock(int slot, std::int64_t need, const std::uint8_t* cursor, std::int64_t inputLeft) {
        CloseBlock(slot, cursor);
        const auto s = static_cast<std::size_t>(slot);
        std::uint64_t& room = BlockRoom[s];
        // Blocks double, but a slot's output grows about as fast as the input is read:
        // a block larger than what is left of the input would mostly stay unused (and
        // count against the memory limit).
        const std::uint64_t step = std::min({room == 0 ? SlotBlockFirst : room * 2, SlotBlockMost,
                                             static_cast<std::uint64_t>(std::max<std::int64_t>(inputLeft, 0)) + 16});
        room = std::max(static_cast<std::uint64_t>(need), step);
        BlockStart[s] = Image.AddPieceBlock(room);
        return BlockStart[s];
    }

    // The slot's block is written up to cursor: its bytes become a piece of the slot.
    void CloseBlock(int slot, const std::uint8_t* cursor) {
        const auto s = static_cast<std::size_t>(slot);
        if (BlockStart[s] == nullptr) return;
        const auto used = static_cast<std::size_t>(cursor - BlockStart[s]);
        Image.LeaveUnused(BlockRoom[s] - used);
        if (used > 0) SlotPieces[s].push_back({BlockStart[s], used});
        SlotSize[s] += static_cast<std::int64_t>(used);
        BlockStart[s] = nullptr;
    }

    // Writes the file header, each track's header, the karaoke header and the end-of-track
    // events into the output area, and saves them with the slots' blocks between them:
    // track 1 (system events) always, then each slot with events, in slot order, and the
    // karaoke header track when there are lyrics.
    void SaveTracks() {
        const bool karaoke = SlotSize[LyricsSlot] != 0;
        if (karaoke) {
            SlotSize[KaraokeSlot] = KaraokeHeaderBytes;
            SlotSize[LyricsSlot] += LyricsHeaderBytes;
        }
        // Track 1 is always written; with no event of its own it gets just an
        // end-of-track event, so that the header's count and the chunks agree.
        const bool supplyEndOfTrack = SlotSize[SystemSlot] == 0;
        if (supplyEndOfTrack) SlotSize[SystemSlot] = EndOfTrackSize;
        NumTracks = 0;
        for (int slot = 1; slot <= OutputTrackSlots; ++slot)
            if (SlotSize[slot] != 0) ++NumTracks;
        // Every track has a chunk header; all but track 1 get an end-of-track event here.
        Image.OutputSize = HeaderChunkSize + TrackHeaderSize + (TrackHeaderSize + EndOfTrackSize) * (NumTracks - 1) +
                           (supplyEndOfTrack ? EndOfTrackSize : 0) +
                           (karaoke ? KaraokeHeaderBytes + LyricsHeaderBytes : 0);
        Image.AllocateOutput(OutPos);
        MoveOutputWindow(OutPos + 1);
        const std::uint8_t* const area = Image.OutputWindow(OutPos + 1).data;
        std::vector<FileImage::Piece> pieces;
        Position cut = OutPos;  // the area's bytes up to here are in pieces
        const auto takeArea = [&] {
            if (OutPos > cut)
                pieces.push_back({area + (cut - Image.OutputBase), static_cast<std::size_t>(OutPos - cut)});
            cut = OutPos;
        };
        const auto takeSlot = [&](int slot) {
            takeArea();
            const auto& slotPieces = SlotPieces[static_cast<std::size_t>(slot)];
            pieces.insert(pieces.end(), slotPieces.begin(), slotPieces.end());
        };
        WriteFileHeader(1, NumTracks);
        WriteTrackHeader(SlotSize[SystemSlot]);
        if (supplyEndOfTrack) PutEndOfTrack();
        takeSlot(SystemSlot);
        for (int slot = 2; slot <= OutputTrackSlots; ++slot) {
            if (SlotSize[slot] == 0) continue;
            WriteTrackHeader(SlotSize[slot] + EndOfTrackSize);
            if (slot == KaraokeSlot) {
                WriteMetaText(0, MetaTrackName, "Soft karaoke");
                WriteMetaText(0, MetaText, KaraokeMarker);
            } else if (slot == LyricsSlot) {
                WriteMetaText(0, MetaTrackName, "Words");
                WriteMetaText(0, MetaText, "@TLyrics");
                WriteMetaText(0, MetaText, "@LENGL");
            }
            takeSlot(slot);
            PutEndOfTrack();
        }
        takeArea();
        Image.SavePieces(pieces);
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

    void PutEndOfTrack() noexcept {
        for (std::uint8_t b : {std::uint8_t{0x00}, MetaStatus, MetaEndOfTrack, std::uint8_t{0x00}}) Put(++OutPos, b);
    }

    // Per slot: the blocks written so far, their byte count, the block being written and
    // its size.
    std::array<std::vector<FileImage::Piece>, OutputTrackSlots + 1> SlotPieces{};
    std::array<std::int64_t, OutputTrackSlots + 1> SlotSize{};
    std::array<std::uint8_t*, OutputTrackSlots + 1> BlockStart{};
    std::array<std::uint64_t, OutputTrackSlots + 1> BlockRoom{};
    std::int64_t InputTrackLength = 0;
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
