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
    // Where a slot is writing: the next byte of its block; the first byte from which an
    // event of a channel (a delta of up to 4 bytes, a status byte, 2 data bytes) might
    // not fit the block (null, like next, before the slot's first block); the time of its
    // last event; and its last status byte written (0 before its first). Kept together
    // so that an event touches one slot's state at one address.
    struct SlotCursor {
        std::uint8_t* next = nullptr;
        std::uint8_t* full = nullptr;
        std::uint64_t last = 0;
        std::uint8_t status = 0;
    };
    static constexpr std::int64_t ChannelEventMost = 7;

    // Where the walk over the input track stands: its next event's first byte, the sum
    // of the deltas read and the running status.
    struct Walk {
        const std::uint8_t* p;
        std::uint64_t now;
        std::uint32_t running;
    };

    // Writes every event of the input track into its slot's blocks, as the event (with
    // its delta from the slot's last event and its status byte unless the slot's last
    // event had the same) will stand in the output. Runs of common channel events go
    // through WriteChannelRun; every other event, and any fault, through the checked
    // reader here.
    void WriteSlots() {
        std::array<SlotCursor, OutputTrackSlots + 1> slots{};
        std::uint8_t* const in = In;
        Walk walk{in + ReadPos, 0, 0};
        const std::uint8_t* const chunkEnd = walk.p + TrackRemaining;
        // Up to here a delta of 4 bytes, a status byte and two data bytes lie in the
        // chunk and in the input.
        const std::uint8_t* const safeEnd = in + std::min(ReadPos + TrackRemaining, Image.InputSize) - 7;
        for (;;) {
            WriteChannelRun(walk, safeEnd, &slots[4]);
            if (walk.p >= chunkEnd) break;
            const Position last = ReadOtherEvent(walk.p - in, chunkEnd - walk.p,
                                                 static_cast<std::uint8_t>(walk.running));
            walk.running = RunningStatus;
            walk.now += EventDelta;
            const auto s = static_cast<std::size_t>(SplitSlotOf(Status, MetaType));
            SlotCursor& slot = slots[s];
            const std::uint64_t delta = walk.now - slot.last;
            if (delta > LongestDelta) GapTooLong(delta);
            slot.last = walk.now;
            std::uint8_t* out = slot.next;
            // The block holds full - out + 6 more bytes; the event takes a delta of up to
            // 4, its status byte and EventLength.
            if (out == nullptr || slot.full - out < EventLength - 1) {
                out = NextBlock(static_cast<int>(s), EventLength + 5, out, chunkEnd - walk.p);
                slot.full = out + (BlockRoom[s] - ChannelEventMost + 1);
            }
            out = PutVarLen(out, static_cast<std::uint32_t>(delta));
            const std::uint8_t* body = in + (last - EventLength);
            if (Status != slot.status || Status >= SysexStatus || body[0] >= 0x80) {
                *out++ = Status;
                slot.status = Status;
            }
            std::memcpy(out, body, static_cast<std::size_t>(EventLength));
            slot.next = out + EventLength;
            walk.p = in + last;
        }
        ReadPos = walk.p - in;
        TrackRemaining = chunkEnd - walk.p;
        for (int s = 1; s <= OutputTrackSlots; ++s) CloseBlock(s, slots[static_cast<std::size_t>(s)].next);
    }

    // Writes the channel events from walk.p on into their slots (channels[0] is
    // channel 1's) for as long as they lie at or before safeEnd, have a delta of at most
    // 2 bytes, a slot's delta that fits 4 bytes and room in the slot's block; stops on
    // the first event that does not, which the checked reader takes. Kept small, with
    // its state in locals, so that it has the registers to itself: an event is a dozen
    // loads and stores, and running status and the status byte kept or not are
    // arithmetic rather than branches.
    static void WriteChannelRun(Walk& walk, const std::uint8_t* const safeEnd, SlotCursor* const channels) noexcept {
        // The data bytes of a channel event by its status byte's high nibble: two for
        // note off and on, key pressure, controller and pitch bend, one for program
        // change and channel pressure.
        static constexpr std::array<std::uint8_t, 16> DataBytes{0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 2, 0};
        const std::uint8_t* p = walk.p;
        std::uint64_t now = walk.now;
        std::uint32_t running = walk.running;
        while (p <= safeEnd) {
            std::uint32_t delta = p[0];
            const std::uint8_t* q = p + 1;  // the byte after the delta
            if (delta >= 0x80) {
                if (p[1] >= 0x80) break;
                delta = (delta & 0x7F) << 7 | p[1];
                q = p + 2;
            }
            // A status byte is taken, a data byte keeps the running status.
            const std::uint32_t first = *q;
            const std::uint32_t status = first >= 0x80 ? first : running;
            // Not a channel event, or a data byte with no running status (0).
            if (status - 0x80 >= 0x70) break;
            SlotCursor* const slot = channels + (status & 0x0Fu);
            std::uint8_t* out = slot->next;
            const std::uint64_t slotDelta = now + delta - slot->last;
            if (out >= slot->full || slotDelta > LongestDelta) break;
            q += first >> 7;
            running = status;
            now += delta;
            slot->last = now;
            if (slotDelta < 0x4000) {
                // One byte or two, without a branch: both are written, the second is
                // written over when the first is the whole delta.
                const bool two = slotDelta >= 0x80;
                out[0] = static_cast<std::uint8_t>(two ? 0x80 | slotDelta >> 7 : slotDelta);
                out[1] = static_cast<std::uint8_t>(slotDelta & 0x7F);
                out += 1 + static_cast<int>(two);
            } else {
                out = PutVarLen(out, static_cast<std::uint32_t>(slotDelta));
            }
            // The status byte is written, and kept unless the slot's last event had the
            // same and the first data byte is below 0x80 (one of 0x80 or more would read
            // as a status byte of its own). Both data bytes lie in the input and the
            // block has room for them; the second of a one-byte event (program change,
            // channel pressure) is not part of it and is written over next.
            const std::uint32_t keepStatus = static_cast<std::uint32_t>(status != slot->status) | (q[0] >> 7u);
            slot->status = static_cast<std::uint8_t>(status);
            out[0] = static_cast<std::uint8_t>(status);
            out += keepStatus;
            std::memcpy(out, q, 2);
            const std::uint32_t length = DataBytes[status >> 4];
            slot->next = out + length;
            p = q + length;
        }
        walk = {p, now, running};
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
        // Only the bytes written into the area are saved: it need not start zeroed.
        Image.ZeroOutput = false;
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
