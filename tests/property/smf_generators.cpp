#include "smf_generators.hpp"

#include <iterator>
#include <string_view>

namespace quorvel::property {
namespace {

namespace gen = rc::gen;

rc::Gen<std::uint32_t> Delta() {
    return gen::weightedOneOf<std::uint32_t>({
        {10, gen::just<std::uint32_t>(0)},
        {8, gen::inRange<std::uint32_t>(1, 128)},
        {3, gen::inRange<std::uint32_t>(128, 1u << 14)},
        {1, gen::inRange<std::uint32_t>(1u << 14, 1u << 21)},
        // Around the merge's longest step of FFFFFF ticks, waited out over several sweeps.
        {1, gen::inRange<std::uint32_t>(0xFFFFF0, 0x1100000)},
    });
}

rc::Gen<std::uint8_t> AnyByte() { return gen::cast<std::uint8_t>(gen::inRange<int>(0, 256)); }

rc::Gen<std::uint8_t> TextByte() {
    return gen::weightedOneOf<std::uint8_t>({
        {12, gen::cast<std::uint8_t>(gen::inRange<int>(0x20, 0x7F))},
        {2, gen::just<std::uint8_t>(0x0D)},
        {1, gen::just<std::uint8_t>(0x0A)},
        {1, gen::element<std::uint8_t>('/', '\\', '@')},
        {1, AnyByte()},
    });
}

// Payload lengths: mostly short, now and then around and above 127, where the length
// quantity takes two bytes.
rc::Gen<std::size_t> PayloadLength() {
    return gen::weightedOneOf<std::size_t>({
        {14, gen::inRange<std::size_t>(0, 16)},
        {2, gen::inRange<std::size_t>(120, 136)},
        {1, gen::inRange<std::size_t>(136, 400)},
    });
}

rc::Gen<Bytes> Payload(rc::Gen<std::uint8_t> byte) {
    return gen::mapcat(PayloadLength(), [byte](std::size_t n) { return gen::container<Bytes>(n, byte); });
}

// Long payloads, up to more than one page of the engine's image, so that outputs
// grow past their first page. Filled from a pattern rather than byte by byte, which
// keeps generation cheap; they shrink by length.
rc::Gen<Bytes> BulkPayload() {
    return gen::map(gen::pair(gen::inRange<std::size_t>(4000, 30000), AnyByte()), [](const auto& lengthAndStart) {
        Bytes data(lengthAndStart.first);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(lengthAndStart.second + i * 7);
        return data;
    });
}

Bytes TextBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Event MakeMeta(std::uint32_t delta, std::uint8_t type, Bytes data) {
    Event e;
    e.delta = delta;
    e.status = MetaStatus;
    e.metaType = type;
    e.data = std::move(data);
    return e;
}

rc::Gen<Event> ChannelEvent() {
    return gen::exec([] {
        Event e;
        e.delta = *Delta();
        const int kind = *gen::inRange(0x8, 0xF);
        const int channel = *gen::inRange(0, 16);
        e.status = static_cast<std::uint8_t>((kind << 4) | channel);
        e.data = *gen::container<Bytes>(static_cast<std::size_t>(DataBytesOfChannelStatus(e.status)),
                                        gen::cast<std::uint8_t>(gen::inRange<int>(0, 0x80)));
        e.runningStatus = *gen::weightedElement<bool>({{3, true}, {1, false}});
        return e;
    });
}

rc::Gen<Event> SysexEvent() {
    return gen::exec([] {
        Event e;
        e.delta = *Delta();
        e.status = *gen::element<std::uint8_t>(0xF0, 0xF7);
        e.data = *gen::weightedOneOf<Bytes>({{10, Payload(AnyByte())}, {3, BulkPayload()}});
        if (e.status == 0xF0 && !e.data.empty()) e.data.back() = 0xF7;
        return e;
    });
}

rc::Gen<Bytes> LyricText() {
    return gen::weightedOneOf<Bytes>({
        {3, Payload(TextByte())},
        {2, gen::map(Payload(TextByte()),
                     [](Bytes text) {
                         text.push_back(0x0D);
                         return text;
                     })},
    });
}

rc::Gen<Event> Lyric() {
    return gen::exec([] { return MakeMeta(*Delta(), MetaLyric, *LyricText()); });
}

// Any meta event but end-of-track; lyrics only when asked for.
rc::Gen<Event> MetaEvent(bool lyrics) {
    return gen::exec([lyrics] {
        const std::uint32_t delta = *Delta();
        const int pick = *gen::inRange(0, lyrics ? 10 : 9);
        switch (pick) {
        case 0: {
            Bytes text = *Payload(TextByte());
            // The main generators make no karaoke files.
            if (text == TextBytes(KaraokeMarker)) text[0] = '#';
            return MakeMeta(delta, MetaText, std::move(text));
        }
        case 1: return MakeMeta(delta, MetaTrackName, *Payload(TextByte()));
        case 2: return MakeMeta(delta, *gen::element<std::uint8_t>(0x02, 0x04, 0x06, 0x07), *Payload(TextByte()));
        case 3: return MakeMeta(delta, 0x51, *gen::container<Bytes>(3, AnyByte()));
        case 4: return MakeMeta(delta, 0x58, *gen::container<Bytes>(4, gen::cast<std::uint8_t>(gen::inRange(0, 0x80))));
        case 5: return MakeMeta(delta, 0x59, *gen::container<Bytes>(2, AnyByte()));
        case 6:
            return MakeMeta(delta, MetaPort, *gen::container<Bytes>(1, gen::cast<std::uint8_t>(gen::inRange(0, 16))));
        case 7: {
            // Port events of another length are copied, not dropped.
            const std::size_t length = *gen::element<std::size_t>(0, 2, 3);
            return MakeMeta(delta, MetaPort, *gen::container<Bytes>(length, AnyByte()));
        }
        case 8: return MakeMeta(delta, *gen::element<std::uint8_t>(0x00, 0x20, 0x54, 0x7F), *Payload(AnyByte()));
        default: return MakeMeta(delta, MetaLyric, *LyricText());
        }
    });
}

rc::Gen<Event> AnyEvent(bool lyrics) {
    return gen::weightedOneOf<Event>({
        {8, ChannelEvent()},
        {1, SysexEvent()},
        {3, MetaEvent(lyrics)},
    });
}

// Gives many channel events the status of the channel event before them (with or
// without system-exclusive and meta events in between), so that running status is
// common. Picks values, so it runs inside a gen::exec.
void RepeatStatuses(std::vector<Event>& events) {
    const auto repeat = *gen::container<std::vector<bool>>(events.size(),
                                                           gen::weightedElement<bool>({{2, true}, {1, false}}));
    std::uint8_t previous = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        Event& e = events[i];
        if (!IsChannelStatus(e.status)) continue;
        if (repeat[i] && previous != 0 && previous != e.status) {
            e.status = previous;
            e.data.resize(static_cast<std::size_t>(DataBytesOfChannelStatus(e.status)), 0x40);
        }
        previous = e.status;
    }
}

// Lowers deltas so that the track's total time stays below TrackTimeLimit.
void KeepWithinTimeLimit(std::vector<Event>& events) {
    std::uint64_t total = 0;
    for (Event& e : events) {
        if (total + e.delta >= TrackTimeLimit) e.delta = 0;
        total += e.delta;
    }
}

// Cuts long payloads short once a file holds more than BulkBudget bytes of them, so
// that input and output together stay well inside the engine's image.
void KeepWithinBulkBudget(SmfFile& file) {
    constexpr std::size_t BulkBudget = 150000;
    std::size_t bulk = 0;
    for (auto& track : file.tracks)
        for (Event& e : track) {
            if (e.data.size() < 1000) continue;
            bulk += e.data.size();
            if (bulk > BulkBudget) e.data.resize(16);
        }
}

// One file in 30 grows past 1 MiB, beyond the 64 pages of 16384 bytes a file image
// once held: a system-exclusive event of 1 to 3 MB, which spans many pages by itself,
// and a run of 60000 to 120000 channel events with running status (delta 0, so no
// track's time grows), which cross page boundaries at every offset. Both are inserted
// before a track's end-of-track event and are filled from a pattern, not byte by byte.
void SometimesMakeLarge(SmfFile& file) {
    if (file.tracks.empty() || !*gen::weightedElement<bool>({{29, false}, {1, true}})) return;
    auto& track = file.tracks[*gen::inRange<std::size_t>(0, file.tracks.size())];
    const std::size_t end = !track.empty() && track.back().status == MetaStatus &&
                                    track.back().metaType == MetaEndOfTrack
                                ? track.size() - 1
                                : track.size();
    const std::size_t at = *gen::inRange<std::size_t>(0, end + 1);
    const std::size_t sysexBytes = *gen::inRange<std::size_t>(1 << 20, 3 << 20);
    const std::size_t notes = *gen::inRange<std::size_t>(60000, 120000);
    const auto channel = static_cast<std::uint8_t>(*gen::inRange(0, 16));
    const auto start = *AnyByte();

    std::vector<Event> bulk;
    Event sysex;
    sysex.status = 0xF0;
    sysex.data.resize(sysexBytes);
    for (std::size_t i = 0; i < sysexBytes; ++i) sysex.data[i] = static_cast<std::uint8_t>((start + i * 13) & 0x7F);
    sysex.data.back() = 0xF7;
    bulk.push_back(std::move(sysex));
    for (std::size_t i = 0; i < notes; ++i) {
        Event note;
        note.status = static_cast<std::uint8_t>((i % 97 == 0 ? 0xB0 : 0x90) | channel);
        note.data = {static_cast<std::uint8_t>((start + i) & 0x7F), static_cast<std::uint8_t>((i * 7) & 0x7F)};
        note.runningStatus = i % 11 != 0;
        bulk.push_back(std::move(note));
    }
    track.insert(track.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(bulk.begin()),
                 std::make_move_iterator(bulk.end()));
}

enum class TrackShape { Normal, NoEndOfTrack, EmptyChunk, OnlyEndOfTrack };

rc::Gen<std::vector<Event>> Format1Track(int maxEvents) {
    return gen::exec([maxEvents] {
        const TrackShape shape = *gen::weightedElement<TrackShape>({
            {16, TrackShape::Normal},
            {2, TrackShape::NoEndOfTrack},
            {1, TrackShape::EmptyChunk},
            {1, TrackShape::OnlyEndOfTrack},
        });
        std::vector<Event> events;
        if (shape == TrackShape::EmptyChunk) return events;
        if (shape != TrackShape::OnlyEndOfTrack) {
            const auto count = static_cast<std::size_t>(*gen::inRange(0, maxEvents + 1));
            events = *gen::container<std::vector<Event>>(count, AnyEvent(true));
        }
        RepeatStatuses(events);
        if (shape != TrackShape::NoEndOfTrack) events.push_back(EndOfTrack(*Delta()));
        KeepWithinTimeLimit(events);
        return events;
    });
}

rc::Gen<std::uint16_t> Division() {
    return gen::weightedOneOf<std::uint16_t>({
        {3, gen::element<std::uint16_t>(96, 480, 0xE728)},
        {1, gen::inRange<std::uint16_t>(1, 0xFFFF)},
    });
}

Event Marker(std::uint32_t delta) { return MakeMeta(delta, MetaText, TextBytes(KaraokeMarker)); }

// Texts that resemble the marker but are no marker: another case, another length,
// another meta type.
rc::Gen<Event> NearMissMarker() {
    return gen::exec([] {
        const std::uint32_t delta = *Delta();
        switch (*gen::inRange(0, 3)) {
        case 0: return MakeMeta(delta, MetaText, TextBytes("@KMIDI Karaoke FILE"));
        case 1: return MakeMeta(delta, MetaText, TextBytes("@KMIDI KARAOKE FILE "));
        default: return MakeMeta(delta, MetaLyric, TextBytes(KaraokeMarker));
        }
    });
}

// Track-3 texts of a karaoke file: '@' texts, texts starting with a line break mark,
// plain texts, as text or lyric or marker events, from empty up to long.
rc::Gen<Event> KaraokeText() {
    return gen::exec([] {
        const std::uint32_t delta = *Delta();
        const std::uint8_t type = *gen::weightedElement<std::uint8_t>({{4, MetaText}, {2, MetaLyric}, {1, 0x06}});
        Bytes text;
        const std::string_view lead = *gen::element<std::string_view>("@", "\\", "/", "");
        text.insert(text.end(), lead.begin(), lead.end());
        const Bytes rest = *gen::weightedOneOf<Bytes>({{1, gen::just(Bytes{})}, {4, Payload(TextByte())}});
        text.insert(text.end(), rest.begin(), rest.end());
        return MakeMeta(delta, type, std::move(text));
    });
}

}  // namespace

rc::Gen<SmfFile> Format1File() {
    return gen::exec([] {
        SmfFile file;
        file.format = 1;
        file.division = *Division();
        const int tracks = *gen::weightedOneOf<int>({
            {16, gen::inRange(1, 9)},
            {4, gen::inRange(9, 40)},
            {1, gen::inRange(200, 256)},
            {1, gen::just(256)},
        });
        const int maxEvents = tracks <= 8 ? 30 : tracks < 40 ? 8 : 2;
        file.tracks = *gen::container<std::vector<std::vector<Event>>>(static_cast<std::size_t>(tracks),
                                                                       Format1Track(maxEvents));
        KeepWithinBulkBudget(file);
        SometimesMakeLarge(file);
        return file;
    });
}

rc::Gen<SmfFile> Format0File() {
    return gen::exec([] {
        SmfFile file;
        file.format = 0;
        file.division = *Division();
        const auto count = static_cast<std::size_t>(*gen::inRange(0, 80));
        std::vector<Event> events;
        const bool bare = *gen::weightedElement<bool>({{1, true}, {8, false}});
        if (bare) {
            // Channel events and lyrics only, no end-of-track event: no event for track 1.
            events = *gen::container<std::vector<Event>>(count, gen::weightedOneOf<Event>({{6, ChannelEvent()},
                                                                                           {1, Lyric()}}));
        } else {
            events = *gen::container<std::vector<Event>>(
                count, gen::weightedOneOf<Event>(
                           {{8, ChannelEvent()}, {1, SysexEvent()}, {2, MetaEvent(false)}, {2, Lyric()}}));
            events.push_back(EndOfTrack(*Delta()));
        }
        RepeatStatuses(events);
        KeepWithinTimeLimit(events);
        file.tracks.push_back(std::move(events));
        KeepWithinBulkBudget(file);
        SometimesMakeLarge(file);
        return file;
    });
}

rc::Gen<SmfFile> KaraokeFile() {
    return gen::exec([] {
        SmfFile file;
        file.format = 1;
        file.division = *Division();
        const int tracks = *gen::inRange(3, 7);

        std::vector<Event> first = *Format1Track(10);
        file.tracks.push_back(std::move(first));

        // Track 2: some events, near misses among them, then the marker, then more
        // events that the merge leaves out.
        const auto before = static_cast<std::size_t>(*gen::inRange(0, 6));
        std::vector<Event> second = *gen::container<std::vector<Event>>(
            before, gen::weightedOneOf<Event>({{4, AnyEvent(true)}, {1, NearMissMarker()}}));
        second.push_back(Marker(*Delta()));
        const auto after = static_cast<std::size_t>(*gen::inRange(0, 6));
        const std::vector<Event> rest = *gen::container<std::vector<Event>>(after, AnyEvent(true));
        second.insert(second.end(), rest.begin(), rest.end());
        // Mostly closed by an end-of-track event; without one, the marker or an event
        // after it is the track's last, which the merge leaves out.
        if (*gen::weightedOneOf<bool>({{6, gen::just(true)}, {1, gen::just(false)}}))
            second.push_back(EndOfTrack(*Delta()));
        KeepWithinTimeLimit(second);
        file.tracks.push_back(std::move(second));

        const auto texts = static_cast<std::size_t>(*gen::inRange(0, 25));
        std::vector<Event> third = *gen::container<std::vector<Event>>(
            texts, gen::weightedOneOf<Event>(
                       {{6, KaraokeText()}, {2, ChannelEvent()}, {1, SysexEvent()}, {2, MetaEvent(true)}}));
        RepeatStatuses(third);
        third.push_back(EndOfTrack(*Delta()));
        KeepWithinTimeLimit(third);
        file.tracks.push_back(std::move(third));

        for (int n = 4; n <= tracks; ++n) file.tracks.push_back(*Format1Track(10));
        KeepWithinBulkBudget(file);
        return file;
    });
}

}  // namespace quorvel::property
