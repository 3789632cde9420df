#pragma once

#include <array>
#include <cstring>
#include <cstdint>
#include <string>
#include <string_view>

#include "file_image.hpp"

namespace quorvel::engine {

// Thrown inside the engine when a read would go past the last byte of the input.
// The merge turns it into MalformedFile; the split answers it with a result code.
// It never leaves an engine entry.
struct InputOverrun {};

// Sizes of the file's fixed parts.
inline constexpr std::int32_t HeaderChunkSize = 14;  // "MThd", length 6, format, tracks, division
inline constexpr std::int32_t TrackHeaderSize = 8;   // "MTrk" and the chunk length
inline constexpr std::int32_t EndOfTrackSize = 4;    // 00 FF 2F 00

// Status bytes of system events and the meta types the engine looks at.
inline constexpr std::uint8_t SysexStatus = 0xF0;
inline constexpr std::uint8_t SysexEscapeStatus = 0xF7;
inline constexpr std::uint8_t MetaStatus = 0xFF;
inline constexpr std::uint8_t MetaText = 0x01;
inline constexpr std::uint8_t MetaTrackName = 0x03;
inline constexpr std::uint8_t MetaLyric = 0x05;
inline constexpr std::uint8_t MetaPort = 0x21;
inline constexpr std::uint8_t MetaEndOfTrack = 0x2F;

// The status nibble (EventKind) of system-exclusive and meta events.
inline constexpr std::uint8_t SystemKind = 0xF;

// The largest delta time a variable-length quantity of 4 bytes holds.
inline constexpr std::uint32_t LongestDelta = 0x0FFFFFFF;

// The split's output tracks by slot: 1 system events, 2 the karaoke header, 3 lyrics,
// 4 to 19 the channels.
inline constexpr int OutputTrackSlots = 19;
inline constexpr int SystemSlot = 1;
inline constexpr int KaraokeSlot = 2;
inline constexpr int LyricsSlot = 3;

// The split's slot of an event by its status (and meta type for meta events): channel
// events by channel, lyrics to the lyrics slot, every other system event to slot 1.
constexpr int SplitSlotOf(std::uint8_t status, std::uint8_t metaType) noexcept {
    if (status < SysexStatus) return (status & 0x0F) + 4;
    return status == MetaStatus && metaType == MetaLyric ? LyricsSlot : SystemSlot;
}

// The time of each split slot's last event, for the inspection, which measures the
// split's gaps (the split keeps the same time in its own slot cursors): a slot's pending
// delta is the time now (the sum of all deltas read, kept by the caller) minus that
// time. One addition per event instead of one per slot.
class SlotClocks {
public:
    void Reset() noexcept { lastEvent_.fill(0); }
    // The time since the slot's last event (or the start); the slot's event is now taken.
    std::uint64_t Take(int slot, std::uint64_t now) noexcept {
        const std::uint64_t delta = now - lastEvent_[slot];
        lastEvent_[slot] = now;
        return delta;
    }

private:
    std::array<std::uint64_t, OutputTrackSlots + 1> lastEvent_{};
};

// Whether the merge leaves out a meta event of the given type and data length in track
// `track`: track names after track 1, and port events of one byte.
constexpr bool MergeDropsMeta(int track, std::uint8_t metaType, std::int64_t dataLength) noexcept {
    return (metaType == MetaTrackName && track != 1) || (metaType == MetaPort && dataLength == 1);
}

// The most tracks the merge takes.
inline constexpr int MergeMaxTracks = 256;

// What a delta time that ends its track chunk, with no event after it, means: the merge
// (and every reader of several tracks) takes it as the end of the track, the split as
// a fault.
enum class DeltaAtChunkEnd { EndsTrack, Malformed };

// The cursors, header fields and byte-level readers and writers of the Standard MIDI
// File encoding that both conversions share. One object per conversion.
//
// Cursors name the last byte handled, never the next one: the next input byte is at
// ReadPos + 1, the next output byte goes to OutPos + 1. Every read is bounded by the
// input's size (InputOverrun past it); structural faults throw MalformedFile.
class SmfStream {
public:
    explicit SmfStream(FileOps& ops = SystemFileOps()) : Image(ops) {}

    // Reads the whole input into the image (FileImage::LoadInput) and points In at it.
    void LoadInput() {
        OutData = nullptr;
        OutSpan = 0;
        Image.LoadInput();
        In = Image.Input();
    }

    // Checks the 14-byte header chunk and sets Format, NumTracks and Division;
    // ReadPos ends on 14. MalformedFile on a header it rejects.
    void CheckHeader();
    // Reads "MTrk" and the 4-byte length from ReadPos + 1 on; TrackRemaining becomes
    // the length. ReadPos advances by 8. MalformedFile on a
    // missing chunk or another tag. CurrentTrack names the chunk in messages.
    void ReadTrackHeader();
    // Reads one variable-length quantity of at most 4 bytes; ReadPos and
    // TrackRemaining move by its size. MalformedFile when it is longer or is cut off
    // by the end of the track chunk.
    std::int32_t ReadVarLen() {
        // Most quantities are one byte long (delta times below 128): read here, the
        // rest by ReadLongVarLen.
        if (ReadPos >= 0 && ReadPos < Image.InputSize) {
            const std::uint8_t b = In[ReadPos];
            if (b < 0x80) {
                ++ReadPos;
                --TrackRemaining;
                return b;
            }
        }
        return ReadLongVarLen();
    }
    // Takes the next byte as Status when it is 0x80 or more and returns 1; otherwise
    // consumes nothing and returns 0 (running status).
    int ReadStatus() {
        const std::uint8_t b = InputByte(ReadPos + 1);
        if (b < 0x80) return 0;
        Status = b;
        ++ReadPos;
        --TrackRemaining;
        return 1;
    }
    // Skips the 1 or 2 data bytes of a channel event (by EventKind) and returns the count.
    std::int64_t ChannelDataLength() {
        EventLength = (EventKind == 0xC || EventKind == 0xD) ? 1 : 2;
        Skip(EventLength);
        return EventLength;
    }
    // Skips the bytes after a system-exclusive (F0, F7) or meta (FF) status byte and
    // returns their count: for sysex the length quantity and the data, for meta the type
    // byte, the length quantity and the data. Sets MetaType, DataLength and DataStart.
    // MalformedFile for any other system status.
    std::int64_t SystemDataLength();
    // Called when TrackRemaining has reached 0 or below: MalformedFile when below.
    void CheckTrackEnd() const;
    // Whether the chunk just read by ReadTrackHeader declares 2^31 bytes or more and
    // reaches past the end of the file: the split refuses it before reading an event.
    bool ChunkFarPastFile() const noexcept {
        return TrackRemaining >= (std::int64_t{1} << 31) && TrackRemaining > Image.InputSize - ReadPos;
    }

    // The one reader of events, in two halves so that the merge can wait between them.
    // ReadDelta reads the delta time of the current track's next event (from ReadPos + 1,
    // within TrackRemaining) into EventDelta. It returns false when the delta used up the
    // chunk, which atEnd either accepts as the end of the track or refuses.
    bool ReadDelta(DeltaAtChunkEnd atEnd) {
        EventDelta = static_cast<std::uint32_t>(ReadVarLen());
        if (TrackRemaining > 0) return true;
        if (atEnd == DeltaAtChunkEnd::Malformed) Malformed("a delta time ends " + TrackName() + " without its event");
        return false;
    }
    // ReadEventBody reads the rest of the event: its status byte, or RunningStatus (the
    // track's last channel status, kept across meta and system-exclusive events) when a
    // data byte comes first; then its data. Sets Status, EventKind, EventLength and, for
    // system events, MetaType, DataLength and DataStart; ReadPos ends on the event's last
    // byte. MalformedFile for a data byte with no running status, a status it cannot
    // measure, or an event that runs past its chunk; InputOverrun past the input.
    void ReadEventBody() {
        if (ReadStatus() == 0) {
            if (RunningStatus == 0) Malformed("a data byte stands where " + TrackName() + " needs a status byte");
            Status = RunningStatus;
        } else if (Status < SysexStatus) {
            RunningStatus = Status;
        }
        EventKind = Status >> 4;
        if (EventKind == SystemKind)
            SystemDataLength();
        else
            ChannelDataLength();
        if (TrackRemaining < 0) CheckTrackEnd();
    }
    // Reads one whole event, delta and body; false when the delta ended the track.
    bool ReadEvent(DeltaAtChunkEnd atEnd) {
        if (!ReadDelta(atEnd)) return false;
        ReadEventBody();
        return true;
    }
    // The merge's rule for the event of track `track` just read: whether it is left out
    // of the output. Left out are a track's last event (the one that ends its chunk),
    // track names after track 1, port events of one byte, and in a karaoke file track 2
    // from its marker on. karaokeSource, false before the first event of track 2, is set
    // by the marker; the test comes first, so a marker that ends track 2 still counts.
    bool MergeLeavesOut(int track, bool& karaokeSource) const {
        if (!karaokeSource && track == 2) karaokeSource = IsKaraokeMarker();
        const bool dropped = Status == MetaStatus && MergeDropsMeta(track, MetaType, DataLength);
        return TrackRemaining == 0 || dropped || (karaokeSource && track == 2);
    }
    // Whether the event just read must carry its status byte when the status byte last
    // written to its output track is `previous`: system events always do, and so does a
    // channel event whose first data byte is 0x80 or more (velocity 255 and the like),
    // which without its status byte would read as a status byte of its own.
    bool NeedsStatusByte(std::uint8_t previous) const {
        if (Status != previous || EventKind == SystemKind) return true;
        return In[ReadPos - EventLength] >= 0x80;
    }
    // Whether the event just read is the karaoke marker: a text meta event holding
    // exactly KaraokeMarker.
    bool IsKaraokeMarker() const;

    // Reads the NumTracks track chunk headers that follow the header chunk, each found
    // through the lengths of those before it, and calls onTrack() for each with
    // CurrentTrack set, ReadPos on the last byte of its chunk header and TrackRemaining
    // its length. MalformedFile for a missing chunk, another tag or a chunk that runs
    // past the end of the file. ReadPos ends on the last byte of the last chunk.
    template <typename OnTrack>
    void ReadTrackTable(OnTrack onTrack) {
        for (int n = 1; n <= NumTracks; ++n) {
            CurrentTrack = n;
            ReadTrackHeader();
            if (TrackRemaining < 0 || TrackRemaining > Image.InputSize - ReadPos)
                Malformed(TrackName() + " runs past the end of the file");
            const Position chunkEnd = ReadPos + TrackRemaining;
            onTrack();
            ReadPos = chunkEnd;
        }
    }
    // The reason given for a delta time that cannot be written in 4 bytes.
    [[noreturn]] void GapTooLong(std::uint64_t ticks) const;

    // Bytes that WriteVarLen takes for value: 1 below 128 (negatives included) up to 5.
    static int VarLenSize(std::int32_t value) noexcept {
        if (value < 128) return 1;
        auto v = static_cast<std::uint32_t>(value);
        int n = 1;
        while (v >= 128) {
            v >>= 7;
            ++n;
        }
        return n;
    }
    // Writes value as a variable-length quantity after OutPos.
    void WriteVarLen(std::int32_t value) noexcept {
        if (value < 128) {
            // One byte, the common case; a negative value keeps its low 7 bits.
            Put(++OutPos, static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0x7F));
            return;
        }
        WriteLongVarLen(value);
    }
    // Writes value as a variable-length quantity at out (at most 4 bytes, value below
    // 2^28) and returns the byte after it.
    static std::uint8_t* PutVarLen(std::uint8_t* out, std::uint32_t value) noexcept {
        if (value < 0x80) {
            *out = static_cast<std::uint8_t>(value);
            return out + 1;
        }
        const int n = VarLenSize(static_cast<std::int32_t>(value));
        for (int i = n - 1; i >= 0; --i) {
            out[i] = static_cast<std::uint8_t>((value & 0x7F) | (i == n - 1 ? 0 : 0x80));
            value >>= 7;
        }
        return out + n;
    }
    // Writes the 14-byte header chunk after OutPos with the given format and track
    // count and the input's division; the length is always 6. OutPos advances by 14.
    void WriteFileHeader(std::uint8_t format, std::uint16_t tracks) noexcept;
    // Writes "MTrk" and length (big-endian) after OutPos; OutPos advances by 8.
    // FileTooLarge for a length that 4 bytes cannot hold.
    void WriteTrackHeader(std::int64_t length);
    // Writes one meta event: delta, FF, type, the text's length, the text.
    void WriteMetaText(std::int32_t delta, std::uint8_t type, std::string_view text) noexcept;

    [[noreturn]] void Malformed(const std::string& reason) const;

    // Writes b at output position q: straight into the output block that the last write
    // outside the window moved it to, else through the image (which ignores a position
    // without a page) and the window moves to q's block.
    void Put(Position q, std::uint8_t b) noexcept {
        const auto offset = static_cast<std::uint64_t>(q - OutFirst);
        if (offset < OutSpan) {
            OutData[offset] = b;
            return;
        }
        PutOutsideWindow(q, b);
    }
    // Copies count input bytes from position source on to output position destination on.
    void CopyToOutput(Position source, Position destination, std::int64_t count) noexcept {
        const auto offset = static_cast<std::uint64_t>(destination - OutFirst);
        if (count > 0 && offset < OutSpan && static_cast<std::uint64_t>(count) <= OutSpan - offset && source >= 1 &&
            count <= Image.InputSize - source + 1) {
            std::memcpy(OutData + offset, In + source - 1, static_cast<std::size_t>(count));
            return;
        }
        Image.CopyBytes(source, destination, count);
    }
    // Points the output window at the block holding position q.
    void MoveOutputWindow(Position q) noexcept {
        const FileImage::Window window = Image.OutputWindow(q);
        OutData = window.data;
        OutFirst = window.first;
        OutSpan = window.data == nullptr ? 0 : static_cast<std::uint64_t>(window.last - window.first + 1);
    }

    FileImage Image;
    // The input's bytes (In[p - 1] holds position p), set by LoadInput.
    std::uint8_t* In = nullptr;
    // The output window: OutSpan positions from OutFirst on lie at OutData on.
    std::uint8_t* OutData = nullptr;
    Position OutFirst = 0;
    std::uint64_t OutSpan = 0;
    Position ReadPos = 0;
    std::int64_t TrackRemaining = 0;
    Position OutPos = 0;
    std::uint8_t Status = 0;
    // The last channel status of the track being read; 0 before its first channel event.
    std::uint8_t RunningStatus = 0;
    std::uint32_t EventDelta = 0;
    std::uint8_t EventKind = 0;
    std::int64_t EventLength = 0;
    std::uint8_t Format = 0;
    std::uint16_t NumTracks = 0;
    std::uint16_t Division = 0;

    // Set by SystemDataLength for the event just read: the meta type (FF events), the
    // number of data bytes and the position of the first of them.
    std::uint8_t MetaType = 0;
    std::int32_t DataLength = 0;
    Position DataStart = 0;

    // The 1-based number of the track chunk being read, for messages.
    int CurrentTrack = 0;

protected:
    // The byte at position p, which must lie in the input (InputOverrun otherwise).
    std::uint8_t InputByte(Position p) const {
        if (p < 1 || p > Image.InputSize) throw InputOverrun{};
        return In[p - 1];
    }
    // Moves ReadPos over n bytes that must all lie in the input.
    void Skip(std::int64_t n) {
        if (n > Image.InputSize - ReadPos) throw InputOverrun{};
        ReadPos += n;
        TrackRemaining -= n;
    }
    std::string TrackName() const { return "track " + std::to_string(CurrentTrack); }

private:
    // Reads a variable-length number of at most 4 bytes; `what` names it in messages.
    // With withinChunk, a number cut off by the end of the track chunk is malformed.
    std::uint32_t ReadQuantity(std::string_view what, bool withinChunk);
    std::int32_t ReadLongVarLen();
    void PutOutsideWindow(Position q, std::uint8_t b) noexcept;
    void WriteLongVarLen(std::int32_t value) noexcept;
};

}  // namespace quorvel::engine
