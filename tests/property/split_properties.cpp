#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "property_checks.hpp"
#include "smf_generators.hpp"
#include "smf_model.hpp"
#include "smf_test_support.hpp"

namespace quorvel::property {
namespace {

using SplitRun = ConversionRun;

// Each chunk must be read to its declared length exactly, and the chunks must fill the
// file to its last byte: the strict reader checks both.
SplitRun RunSplit(const SmfFile& file) { return RunConversion(file, testing::RunType1); }

ReadEvent MetaAt(std::uint64_t time, std::uint8_t type, std::string_view text) {
    ReadEvent e;
    e.time = time;
    e.status = MetaStatus;
    e.metaType = type;
    e.data.assign(text.begin(), text.end());
    return e;
}

ReadEvent EndOfTrackAt(std::uint64_t time) { return MetaAt(time, MetaEndOfTrack, ""); }

// The input's events sorted the way the split sorts them.
struct Sorted {
    std::vector<ReadEvent> system;  // system-exclusive and meta events but lyrics
    std::vector<ReadEvent> lyrics;  // as they come out: text events, '/' for carriage returns
    std::array<std::vector<ReadEvent>, 16> channels;
};

Sorted SortInput(const ReadSmf& in) {
    Sorted sorted;
    for (const ReadEvent& e : in.chunks.at(0).events) {
        if (IsChannelStatus(e.status)) {
            sorted.channels[e.status & 0x0F].push_back(e);
        } else if (e.status == MetaStatus && e.metaType == MetaLyric) {
            ReadEvent text = e;
            text.metaType = MetaText;
            std::replace(text.data.begin(), text.data.end(), std::uint8_t{0x0D}, std::uint8_t{'/'});
            sorted.lyrics.push_back(text);
        } else {
            sorted.system.push_back(e);
        }
    }
    return sorted;
}

// The tracks the split writes: track 1 with the system-exclusive and meta events (just
// an end-of-track event when there are none), with lyrics the karaoke header track and
// the lyrics track, then one track per channel in use, in channel order. Every track but
// the first gets an end-of-track event right after its last event.
std::vector<std::vector<ReadEvent>> ExpectedTracks(const Sorted& sorted) {
    std::vector<std::vector<ReadEvent>> tracks;
    tracks.push_back(sorted.system.empty() ? std::vector<ReadEvent>{EndOfTrackAt(0)} : sorted.system);
    const std::string_view marker = KaraokeMarker;
    auto close = [](std::vector<ReadEvent> track) {
        track.push_back(EndOfTrackAt(track.empty() ? 0 : track.back().time));
        return track;
    };
    if (!sorted.lyrics.empty()) {
        tracks.push_back(close({MetaAt(0, MetaTrackName, "Soft karaoke"), MetaAt(0, MetaText, marker)}));
        std::vector<ReadEvent> lyrics = {MetaAt(0, MetaTrackName, "Words"), MetaAt(0, MetaText, "@TLyrics"),
                                         MetaAt(0, MetaText, "@LENGL")};
        lyrics.insert(lyrics.end(), sorted.lyrics.begin(), sorted.lyrics.end());
        tracks.push_back(close(lyrics));
    }
    for (const auto& channel : sorted.channels)
        if (!channel.empty()) tracks.push_back(close(channel));
    return tracks;
}

// Index of the output track that holds channel c (0-based), given the layout above.
std::size_t ChannelTrackIndex(const Sorted& sorted, int channel) {
    std::size_t index = sorted.lyrics.empty() ? 1 : 3;
    for (int c = 0; c < channel; ++c)
        if (!sorted.channels[static_cast<std::size_t>(c)].empty()) ++index;
    return index;
}

// The header says format 1 and counts exactly the chunks that follow; each chunk's
// length is exact (the reader walks each to its declared end and the file to its
// last byte); the rest of the header is the input's. The karaoke header texts stand in
// track 2 exactly when the input has lyrics.
RC_GTEST_PROP(SplitProperties, HeaderCountsTheChunksAndLengthsAreExact, ()) {
    const SplitRun run = RunSplit(*Format0File());
    RC_ASSERT(Bytes(run.output.begin(), run.output.begin() + 8) == Bytes(run.input.begin(), run.input.begin() + 8));
    RC_ASSERT(run.out.format == 1);
    RC_ASSERT(!run.out.chunks.empty());
    RC_ASSERT(run.out.declaredTracks == static_cast<int>(run.out.chunks.size()));
    RC_ASSERT(run.out.division == run.in.division);
    const Sorted sorted = SortInput(run.in);
    RC_ASSERT(run.out.chunks.size() == ExpectedTracks(sorted).size());

    const std::string_view marker = KaraokeMarker;
    const Bytes markerText(marker.begin(), marker.end());
    std::size_t markers = 0;
    for (const auto& chunk : run.out.chunks)
        markers += static_cast<std::size_t>(
            std::count_if(chunk.events.begin(), chunk.events.end(), [&](const ReadEvent& e) {
                return e.status == MetaStatus && e.metaType == MetaText && e.data == markerText;
            }));
    RC_ASSERT(markers == (sorted.lyrics.empty() ? 0u : 1u));
}

// Every channel event lands in the track of its channel, at its absolute time, with
// its data unchanged, in input order, and the track then ends at once with 00 FF 2F 00;
// every lyric lands in the lyrics track as a text event with '/' for each carriage
// return, after the karaoke texts; every other meta event and every system-exclusive
// event lands in track 1 unchanged (with none, track 1 holds just 00 FF 2F 00).
RC_GTEST_PROP(SplitProperties, EventsLandInTheTrackOfTheirKind, ()) {
    const SplitRun run = RunSplit(*Format0File());
    const Sorted sorted = SortInput(run.in);
    const auto expected = ExpectedTracks(sorted);
    RC_ASSERT(run.out.chunks.size() == expected.size());
    RequireSameSequence(run.out.chunks[0].events, expected[0], "track 1");
    if (!sorted.lyrics.empty()) {
        RequireSameSequence(run.out.chunks[1].events, expected[1], "karaoke header track");
        RequireSameSequence(run.out.chunks[2].events, expected[2], "lyrics track");
    }
    for (int c = 0; c < 16; ++c) {
        if (sorted.channels[static_cast<std::size_t>(c)].empty()) continue;
        const std::size_t index = ChannelTrackIndex(sorted, c);
        const auto& events = run.out.chunks[index].events;
        RequireSameSequence(events, expected[index], "channel " + std::to_string(c + 1));
        RC_ASSERT(events.back().delta == 0u);
        RequireMinimalRunningStatus(events, "channel " + std::to_string(c + 1));
    }
}

// Merging the split output again gives back every channel event of the input at its
// absolute time, each channel's events in their order.
RC_GTEST_PROP(SplitProperties, MergeOfSplitGivesBackTheChannelEvents, ()) {
    const SplitRun run = RunSplit(*Format0File());
    const testing::Conversion merged = testing::RunType0(run.output);
    RC_ASSERT(merged.code == 0);
    const ReadSmf back = ReadFileBytes(merged.output, RunningStatusRule::Strict);
    RC_ASSERT(back.chunks.size() == 1u);
    std::array<std::vector<ReadEvent>, 16> channels;
    for (const ReadEvent& e : back.chunks[0].events)
        if (IsChannelStatus(e.status)) channels[e.status & 0x0F].push_back(e);
    const Sorted sorted = SortInput(run.in);
    for (std::size_t c = 0; c < 16; ++c)
        RequireSameSequence(channels[c], sorted.channels[c],
                            "channel " + std::to_string(c + 1) + " after the round trip");
}

}  // namespace
}  // namespace quorvel::property
