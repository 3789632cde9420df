#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "file_image.hpp"

namespace quorvel::engine {

// Thrown inside the engine when a read would go past the last byte of the input.
// The merge turns it into MalformedFile; the split answers it with a result code.
// It never leaves an engine entry.
struct InputOverrun {};

// The cursors, header fields and byte-level readers and writers of the Standard MIDI
// File encoding that both conversions share. One object per conversion.
//
// Cursors name the last byte handled, never the next one: the next input byte is at
// ReadPos + 1, the next output byte goes to OutPos + 1. Every read is bounded by the
// input's size (InputOverrun past it); structural faults throw MalformedFile.
class SmfStream {
public:
    explicit SmfStream(FileOps& ops = SystemFileOps()) : Image(ops) {}

    // Checks the 14-byte header chunk and sets Format, NumTracks and Division;
    // ReadPos ends on 14. MalformedFile on a header it rejects.
    void CheckHeader();
    // Reads "MTrk" and the 4-byte length from ReadPos + 1 on; TrackRemaining becomes
    // the length (negative from 2^31 up). ReadPos advances by 8. MalformedFile on a
    // missing chunk or another tag. CurrentTrack names the chunk in messages.
    void ReadTrackHeader();
    // Reads one variable-length quantity of at most 4 bytes; ReadPos and
    // TrackRemaining move by its size. MalformedFile when it is longer or is cut off
    // by the end of the track chunk.
    std::int32_t ReadVarLen() {
        // Most quantities are one byte long (delta times below 128): read here, the
        // rest by ReadLongVarLen.
        if (ReadPos >= 0 && ReadPos < Image.InputSize) {
            const std::uint8_t b = Image.GetByte(ReadPos + 1);
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
    std::int32_t ChannelDataLength() {
        EventLength = (EventKind == 0xC || EventKind == 0xD) ? 1 : 2;
        Skip(EventLength);
        return EventLength;
    }
    // Skips the bytes after a system-exclusive (F0, F7) or meta (FF) status byte and
    // returns their count: for sysex the length quantity and the data, for meta the type
    // byte, the length quantity and the data. Sets MetaType, DataLength and DataStart.
    // MalformedFile for any other system status.
    std::int32_t SystemDataLength();
    // Called when TrackRemaining has reached 0 or below: MalformedFile when below.
    void CheckTrackEnd() const;

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
            Image.PutByte(++OutPos, static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0x7F));
            return;
        }
        WriteLongVarLen(value);
    }
    // Writes the 14-byte header chunk after OutPos with the given format and track
    // count and the input's division; the length is always 6. OutPos advances by 14.
    void WriteFileHeader(std::uint8_t format, std::uint16_t tracks) noexcept;
    // Writes "MTrk" and length (big-endian) after OutPos; OutPos advances by 8.
    void WriteTrackHeader(std::int32_t length) noexcept;
    // Writes one meta event: delta, FF, type, the text's length, the text.
    void WriteMetaText(std::int32_t delta, std::uint8_t type, std::string_view text) noexcept;

    [[noreturn]] void Malformed(const std::string& reason) const;

    FileImage Image;
    Position ReadPos = 0;
    std::int32_t TrackRemaining = 0;
    Position OutPos = 0;
    std::uint8_t Status = 0;
    std::uint8_t EventKind = 0;
    std::int32_t EventLength = 0;
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
        return Image.GetByte(p);
    }
    // Moves ReadPos over n bytes that must all lie in the input.
    void Skip(std::int32_t n) {
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
    void WriteLongVarLen(std::int32_t value) noexcept;
};

}  // namespace quorvel::engine
