#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <string_view>
#include <tuple>

#include "merge_window.hpp"
#include "property_checks.hpp"
#include "smf_generators.hpp"
#include "smf_model.hpp"
#include "smf_test_support.hpp"

namespace quorvel::property {
namespace {

using MergeRun = ConversionRun;

MergeRun RunMerge(const SmfFile& file) {
    MergeRun run = RunConversion(file, testing::RunType0);
    RC_ASSERT(run.out.chunks.size() == 1u);
    RC_ASSERT(!run.out.chunks[0].events.empty());
    return run;
}

// The merged events without the closing end-of-track event.
std::vector<ReadEvent> MergedEvents(const MergeRun& run) {
    const auto& events = run.out.chunks[0].events;
    return {events.begin(), events.end() - 1};
}

bool IsKaraokeMarker(const ReadEvent& e) {
    const std::string_view marker = KaraokeMarker;
    return e.status == MetaStatus && e.metaType == MetaText && e.data == Bytes(marker.begin(), marker.end());
}

// Where an event stands in the merge's sweeps: events of one time come round by round,
// the first event of each due track in track order, then the second ones, and so on.
struct SweepPlace {
    std::uint64_t time;
    std::size_t round;
    std::size_t track;  // 0-based
    std::size_t index;  // within the track
};

std::vector<SweepPlace> SweepOrder(const ReadSmf& in) {
    std::vector<SweepPlace> places;
    for (std::size_t n = 0; n < in.chunks.size(); ++n) {
        const auto& events = in.chunks[n].events;
        std::size_t round = 0;
        for (std::size_t i = 0; i < events.size(); ++i) {
            round = (i > 0 && events[i - 1].time == events[i].time) ? round + 1 : 0;
            places.push_back({events[i].time, round, n, i});
        }
    }
    std::sort(places.begin(), places.end(), [](const SweepPlace& a, const SweepPlace& b) {
        return std::tie(a.time, a.round, a.track) < std::tie(b.time, b.round, b.track);
    });
    return places;
}

struct MergeExpectation {
    std::vector<ReadEvent> written;            // in output order
    std::vector<std::vector<ReadEvent>> kept;  // per input track, as written
};

// What the merge writes, from the rules: each track's last event, the names of tracks
// other than the first and port events FF 21 01 pp are left out; once track 2 has shown
// the karaoke marker, track 2 is left out from it on and track 3's texts are turned
// into lyrics, '@' texts into "* " texts, and a leading '\' or '/' into a line break.
MergeExpectation ExpectedMerge(const ReadSmf& in) {
    MergeExpectation expect;
    expect.kept.resize(in.chunks.size());
    bool karaoke = false;
    std::uint64_t lastWritten = 0;
    for (const SweepPlace& place : SweepOrder(in)) {
        const auto& events = in.chunks[place.track].events;
        const std::size_t n = place.track + 1;
        ReadEvent e = events[place.index];
        const bool last = place.index + 1 == events.size();
        const bool meta = e.status == MetaStatus;
        const bool dropped = meta && ((e.metaType == MetaTrackName && n != 1) ||
                                      (e.metaType == MetaPort && e.data.size() == 1));
        if (meta && !karaoke && n == 2) karaoke = IsKaraokeMarker(e);
        bool lineBreak = false;
        if (meta && karaoke && n == 3) {
            // An '@' text of one byte has no second byte to rewrite: the engine leaves it
            // alone and, as a text that was not rewritten, it becomes a lyric.
            if (e.metaType == MetaText && e.data.size() >= 2 && e.data[0] == '@') {
                e.data[0] = '*';
                e.data[1] = ' ';
            } else if (e.metaType == MetaText) {
                e.metaType = MetaLyric;
            }
            lineBreak = !e.data.empty() && (e.data[0] == '\\' || e.data[0] == '/');
        }
        if (last || dropped || (karaoke && n == 2)) continue;
        if (lineBreak) {
            ReadEvent brk;
            brk.time = lastWritten;
            brk.status = MetaStatus;
            brk.metaType = MetaLyric;
            brk.data = {0x0D};
            expect.written.push_back(brk);
            e.metaType = MetaLyric;
            e.data.erase(e.data.begin());
        }
        lastWritten = e.time;
        expect.written.push_back(e);
        expect.kept[place.track].push_back(e);
    }
    return expect;
}

// The output is a format-0 file with one track chunk whose length is exact; the header
// keeps the input's length bytes and division. Exactly one end-of-track event closes
// the track, at the time the longest input track ends (its own end-of-track event
// included), and the track uses running status across the input tracks: a channel
// event leaves its status byte out exactly when it equals the one written last.
RC_GTEST_PROP(MergeProperties, OutputIsOneFormat0TrackClosedOnce, ()) {
    const MergeRun run = RunMerge(*Format1File());
    RC_ASSERT(Bytes(run.output.begin(), run.output.begin() + 8) == Bytes(run.input.begin(), run.input.begin() + 8));
    RC_ASSERT(run.out.format == 0);
    RC_ASSERT(run.out.declaredTracks == 1);
    RC_ASSERT(run.out.division == run.in.division);
    RC_ASSERT(run.out.chunks[0].length == run.output.size() - 22);

    const Bytes tail(run.output.end() - 3, run.output.end());
    RC_ASSERT(tail == Bytes({0xFF, 0x2F, 0x00}));
    const auto& events = run.out.chunks[0].events;
    RC_ASSERT(std::count_if(events.begin(), events.end(), IsEndOfTrack) == 1);
    RC_ASSERT(IsEndOfTrack(events.back()));
    std::uint64_t end = 0;
    for (const auto& chunk : run.in.chunks)
        if (!chunk.events.empty()) end = std::max(end, chunk.events.back().time);
    RC_ASSERT(events.back().time == end);

    RequireMinimalRunningStatus(events, "merged track");
}

// Every event the rules keep appears at its absolute time with its bytes unchanged,
// and every event missing is one the rules leave out; the events of one input track
// keep their order; events of one time come in sweeps: the first due event of each
// track in track order, then the second ones, and so on.
RC_GTEST_PROP(MergeProperties, KeptEventsKeepTheirTimesAndOrder, ()) {
    const MergeRun run = RunMerge(*Format1File());
    const MergeExpectation expect = ExpectedMerge(run.in);
    const std::vector<ReadEvent> merged = MergedEvents(run);
    RequireSameEventsInAnyOrder(merged, expect.written, "merged track");
    for (std::size_t n = 0; n < expect.kept.size(); ++n)
        RequireSubsequence(merged, expect.kept[n], "track " + std::to_string(n + 1));
    RequireSameSequence(merged, expect.written, "merged track");
}

// From engine::WindowTracks tracks on the merge sorts windows of events instead of
// taking them through its heap: a file gives the same output either way (idle tracks
// ending at the file's last time switch the windows on without changing it).
RC_GTEST_PROP(MergeProperties, WindowsGiveWhatTheHeapGives, ()) {
    const SmfFile file = *Format1File();
    RC_PRE(file.tracks.size() + engine::WindowTracks <= 256u);
    std::uint32_t end = 0;
    for (const auto& track : file.tracks) {
        std::uint32_t time = 0;
        for (const Event& e : track) time += e.delta;
        end = std::max(end, time);
    }
    const Bytes input = Encode(file);
    const testing::Conversion heap = testing::RunType0(input);
    const testing::Conversion windows = testing::RunType0(testing::WithIdleTracks(input, engine::WindowTracks, end));
    RC_ASSERT(heap.code == 0);
    RC_ASSERT(windows.code == 0);
    RC_ASSERT(windows.output == heap.output);
}

// A karaoke file: the marker in track 2 ends track 2's contribution and turns track 3's
// texts into lyrics, '@' texts into "* " texts, and leading '\' or '/' into line breaks.
RC_GTEST_PROP(MergeKaraokeProperties, TrackThreeTextsBecomeLyrics, ()) {
    const MergeRun run = RunMerge(*KaraokeFile());
    RequireSameSequence(MergedEvents(run), ExpectedMerge(run.in).written, "merged karaoke track");
    RequireMinimalRunningStatus(run.out.chunks[0].events, "merged karaoke track");
}

}  // namespace
}  // namespace quorvel::property
