#include "smf_stream.hpp"

#include <cstdio>

#include "karaoke.hpp"
#include "quorvel/engine/errors.hpp"

namespace quorvel::engine {

void SmfStream::Malformed(const std::string& reason) const { throw MalformedFile(reason); }

void SmfStream::GapTooLong(std::uint64_t ticks) const {
    Malformed("a gap of " + std::to_string(ticks) + " ticks is too long to be written (at most " +
              std::to_string(LongestDelta) + ")");
}

bool SmfStream::IsKaraokeMarker() const {
    // The data of the meta event just read lies wholly in the input (SystemDataLength
    // skipped over it), so these reads stay inside the file.
    if (Status != MetaStatus || MetaType != MetaText || DataLength != static_cast<std::int32_t>(KaraokeMarker.size()))
        return false;
    for (std::size_t i = 0; i < KaraokeMarker.size(); ++i)
        if (In[DataStart - 1 + static_cast<Position>(i)] != static_cast<std::uint8_t>(KaraokeMarker[i])) return false;
    return true;
}

void SmfStream::CheckHeader() {
    if (Image.InputSize < HeaderChunkSize) Malformed("the file is shorter than a MIDI header");
    const auto at = [this](Position p) { return In[p - 1]; };
    if (at(1) != 'M' || at(2) != 'T' || at(3) != 'h' || at(4) != 'd') Malformed("no MThd header");
    if (at(8) != 6) Malformed("the header length is not 6");
    if (at(10) > 1) Malformed("format " + std::to_string(at(10)) + " is not supported");
    Format = at(10);
    NumTracks = static_cast<std::uint16_t>((at(11) << 8) | at(12));
    if (NumTracks == 0) Malformed("the header declares no tracks");
    Division = static_cast<std::uint16_t>((at(13) << 8) | at(14));
    if (Division == 0) Malformed("the time division is 0");
    ReadPos = HeaderChunkSize;
}

void SmfStream::ReadTrackHeader() {
    if (Image.InputSize - ReadPos < 8) Malformed(TrackName() + " is missing");
    static constexpr std::uint8_t tag[4] = {'M', 'T', 'r', 'k'};
    for (std::uint8_t expected : tag) {
        ++ReadPos;
        if (In[ReadPos - 1] != expected) Malformed(TrackName() + " is not an MTrk chunk");
    }
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        ++ReadPos;
        length = (length << 8) | In[ReadPos - 1];
    }
    TrackRemaining = length;
}

std::uint32_t SmfStream::ReadQuantity(std::string_view what, bool withinChunk) {
    std::uint32_t value = 0;
    for (int n = 1;; ++n) {
        const std::uint8_t b = InputByte(ReadPos + 1);
        ++ReadPos;
        --TrackRemaining;
        value = (value << 7) | (b & 0x7Fu);
        if (b < 0x80) break;
        if (n == 4) Malformed(std::string(what) + " in " + TrackName() + " is longer than 4 bytes");
        if (withinChunk && TrackRemaining <= 0) Malformed(std::string(what) + " runs past the end of " + TrackName());
    }
    return value;
}

std::int32_t SmfStream::ReadLongVarLen() {
    return static_cast<std::int32_t>(ReadQuantity("a variable-length number", true));
}

std::int64_t SmfStream::SystemDataLength() {
    const Position start = ReadPos;
    if (Status == MetaStatus) {
        MetaType = InputByte(ReadPos + 1);
        ++ReadPos;
        --TrackRemaining;
    } else if (Status == SysexStatus || Status == SysexEscapeStatus) {
        MetaType = 0;
    } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", Status);
        Malformed(std::string("status byte ") + hex + " is not allowed in " + TrackName());
    }
    // The length may run on past the chunk here, so that CheckTrackEnd reports the
    // whole event as running past it.
    const std::uint32_t length = ReadQuantity("an event length", false);
    DataLength = static_cast<std::int32_t>(length);
    DataStart = ReadPos + 1;
    Skip(DataLength);
    EventLength = ReadPos - start;
    return EventLength;
}

void SmfStream::PutOutsideWindow(Position q, std::uint8_t b) noexcept {
    Image.PutByte(q, b);
    MoveOutputWindow(q);
}

void SmfStream::CheckTrackEnd() const {
    if (TrackRemaining < 0) Malformed("an event runs past the end of " + TrackName());
}

void SmfStream::WriteLongVarLen(std::int32_t value) noexcept {
    const int n = VarLenSize(value);
    auto v = static_cast<std::uint32_t>(value);
    OutPos += n;
    Put(OutPos, static_cast<std::uint8_t>(v & 0x7F));
    for (int i = 1; i < n; ++i) {
        v >>= 7;
        Put(OutPos - i, static_cast<std::uint8_t>((v & 0x7F) | 0x80));
    }
}

void SmfStream::WriteFileHeader(std::uint8_t format, std::uint16_t tracks) noexcept {
    // The input's length and format words may carry bytes that CheckHeader passes over
    // (00 00 01 06, 01 00); the output states them plainly.
    const std::uint8_t header[HeaderChunkSize] = {'M',
                                                  'T',
                                                  'h',
                                                  'd',
                                                  0,
                                                  0,
                                                  0,
                                                  6,
                                                  0,
                                                  format,
                                                  static_cast<std::uint8_t>(tracks >> 8),
                                                  static_cast<std::uint8_t>(tracks),
                                                  In[12],
                                                  In[13]};
    for (std::uint8_t b : header) Put(++OutPos, b);
}

void SmfStream::WriteTrackHeader(std::int64_t length) {
    if (length < 0 || length > std::int64_t{0xFFFFFFFF}) throw FileTooLarge::TrackTooLong();
    Put(OutPos + 1, 'M');
    Put(OutPos + 2, 'T');
    Put(OutPos + 3, 'r');
    Put(OutPos + 4, 'k');
    OutPos += TrackHeaderSize;
    const auto v = static_cast<std::uint32_t>(length);
    for (int i = 0; i < 4; ++i) Put(OutPos - i, static_cast<std::uint8_t>(v >> (8 * i)));
}

void SmfStream::WriteMetaText(std::int32_t delta, std::uint8_t type, std::string_view text) noexcept {
    WriteVarLen(delta);
    Put(OutPos + 1, MetaStatus);
    Put(OutPos + 2, type);
    OutPos += 2;
    WriteVarLen(static_cast<std::int32_t>(text.size()));
    for (char c : text) {
        ++OutPos;
        Put(OutPos, static_cast<std::uint8_t>(c));
    }
}

}  // namespace quorvel::engine
