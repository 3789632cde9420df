#include "smf_model.hpp"

#include <ostream>
#include <sstream>

namespace quorvel::property {

bool IsChannelStatus(std::uint8_t status) noexcept { return status >= 0x80 && status < 0xF0; }

int DataBytesOfChannelStatus(std::uint8_t status) noexcept {
    const int kind = status >> 4;
    return (kind == 0xC || kind == 0xD) ? 1 : 2;
}

Event EndOfTrack(std::uint32_t delta) {
    Event e;
    e.delta = delta;
    e.status = MetaStatus;
    e.metaType = MetaEndOfTrack;
    return e;
}

namespace {

void PutVarLen(Bytes& out, std::uint32_t value) {
    const Bytes encoded = testing::VarLen(value);
    out.insert(out.end(), encoded.begin(), encoded.end());
}

void PutBig(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes EncodeTrack(const std::vector<Event>& events) {
    Bytes body;
    std::uint8_t running = 0;
    for (const Event& e : events) {
        PutVarLen(body, e.delta);
        if (IsChannelStatus(e.status)) {
            if (!(e.runningStatus && running == e.status)) body.push_back(e.status);
            running = e.status;
            body.insert(body.end(), e.data.begin(), e.data.end());
            continue;
        }
        body.push_back(e.status);
        if (e.status == MetaStatus) body.push_back(e.metaType);
        PutVarLen(body, static_cast<std::uint32_t>(e.data.size()));
        body.insert(body.end(), e.data.begin(), e.data.end());
    }
    Bytes chunk = {'M', 'T', 'r', 'k'};
    PutBig(chunk, static_cast<std::uint32_t>(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

// Reads the bytes of one chunk body; `end` is one past its last byte.
class ChunkReader {
public:
    ChunkReader(const Bytes& bytes, std::size_t pos, std::size_t end, RunningStatusRule rule)
        : bytes_(bytes), pos_(pos), end_(end), rule_(rule) {}

    std::vector<ReadEvent> Events() {
        std::vector<ReadEvent> events;
        std::uint64_t time = 0;
        std::uint8_t running = 0;
        while (pos_ < end_) {
            ReadEvent e;
            e.delta = VarLen();
            time += e.delta;
            e.time = time;
            const std::uint8_t first = Byte();
            if (first >= 0x80) {
                e.status = first;
            } else {
                if (running == 0) throw ReadError("a data byte where a status byte is needed");
                e.status = running;
                e.hadStatusByte = false;
                --pos_;
            }
            if (IsChannelStatus(e.status)) {
                running = e.status;
                for (int i = 0; i < DataBytesOfChannelStatus(e.status); ++i) {
                    const std::uint8_t b = Byte();
                    if (b >= 0x80) throw ReadError("a status byte inside a channel event");
                    e.data.push_back(b);
                }
            } else if (e.status == 0xF0 || e.status == 0xF7 || e.status == MetaStatus) {
                if (rule_ == RunningStatusRule::Strict) running = 0;
                if (e.status == MetaStatus) e.metaType = Byte();
                const std::uint32_t length = VarLen();
                if (length > end_ - pos_) throw ReadError("an event runs past its chunk");
                e.data.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                              bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + length));
                pos_ += length;
            } else {
                throw ReadError("status byte " + testing::ToHex({e.status}) + " has no place in a track");
            }
            events.push_back(std::move(e));
        }
        return events;
    }

private:
    std::uint8_t Byte() {
        if (pos_ >= end_) throw ReadError("an event runs past its chunk");
        return bytes_[pos_++];
    }

    std::uint32_t VarLen() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = Byte();
            value = (value << 7) | (b & 0x7Fu);
            if (b < 0x80) return value;
        }
        throw ReadError("a variable-length quantity of more than 4 bytes");
    }

    const Bytes& bytes_;
    std::size_t pos_;
    std::size_t end_;
    RunningStatusRule rule_;
};

std::uint32_t Big(const Bytes& bytes, std::size_t pos, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[pos + static_cast<std::size_t>(i)];
    return value;
}

bool TagAt(const Bytes& bytes, std::size_t pos, const char* tag) {
    for (int i = 0; i < 4; ++i)
        if (bytes[pos + static_cast<std::size_t>(i)] != static_cast<std::uint8_t>(tag[i])) return false;
    return true;
}

}  // namespace

Bytes Encode(const SmfFile& file) {
    Bytes out = testing::Header(file.format, static_cast<int>(file.tracks.size()), file.division);
    for (const auto& track : file.tracks) {
        const Bytes chunk = EncodeTrack(track);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

void showValue(const SmfFile& file, std::ostream& os) {
    os << "format " << file.format << ", " << file.tracks.size() << " track(s), " << Encode(file).size() << " bytes:\n"
       << testing::ToHex(Encode(file));
}

bool SameEvent(const ReadEvent& a, const ReadEvent& b) {
    return a.time == b.time && a.status == b.status && a.metaType == b.metaType && a.data == b.data;
}

std::string Describe(const ReadEvent& e) {
    std::ostringstream os;
    os << "at " << e.time << ": " << testing::ToHex({e.status});
    if (e.status == MetaStatus) os << ' ' << testing::ToHex({e.metaType});
    if (!IsChannelStatus(e.status)) os << " [" << e.data.size() << ']';
    if (!e.data.empty()) os << ' ' << testing::ToHex(e.data);
    return os.str();
}

ReadSmf ReadFileBytes(const Bytes& bytes, RunningStatusRule rule) {
    if (bytes.size() < 14) throw ReadError("shorter than a header chunk");
    if (!TagAt(bytes, 0, "MThd") || Big(bytes, 4, 4) != 6) throw ReadError("no MThd chunk of length 6");
    ReadSmf smf;
    smf.header.assign(bytes.begin(), bytes.begin() + 14);
    smf.format = static_cast<int>(Big(bytes, 8, 2));
    smf.declaredTracks = static_cast<int>(Big(bytes, 10, 2));
    smf.division = static_cast<int>(Big(bytes, 12, 2));
    std::size_t pos = 14;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 8) throw ReadError("a cut-off chunk header");
        if (!TagAt(bytes, pos, "MTrk")) throw ReadError("a chunk that is not MTrk");
        ReadChunk chunk;
        chunk.length = Big(bytes, pos + 4, 4);
        pos += 8;
        if (chunk.length > bytes.size() - pos) throw ReadError("a chunk runs past the end of the file");
        chunk.events = ChunkReader(bytes, pos, pos + chunk.length, rule).Events();
        pos += chunk.length;
        smf.chunks.push_back(std::move(chunk));
    }
    return smf;
}

}  // namespace quorvel::property
