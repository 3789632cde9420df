// libFuzzer target: the bytes are a file given to the engine's inspection, the reader
// behind `quorvel-cli info`, kept in memory.
//
// Besides an Inspection that agrees with itself, the inspection must agree with the
// conversion that applies to the file on whether it is malformed:
// - format 0 with one track, the split: it reads the track in the same order, so the
//   inspection's problem and the split's MalformedFile reason are always equal, and
//   without a problem the split's result code follows from missingBytes (4) and
//   trailingBytes (3);
// - format 1 with up to 256 tracks, the merge: it reads the tracks interleaved by time,
//   so with faults in several tracks it may meet another one first. Each track's first
//   fault depends on that track alone, so the reasons are equal whenever both name the
//   same track, and whenever neither does (a gap too long for the output: both find
//   the earliest). So they are always equal when the file has one fault.
// - a header both refuse: the same reason.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>

#include "conversion_harness.hpp"
#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/inspection.hpp"
#include "quorvel/engine/memory_file_ops.hpp"

namespace {

using quorvel::engine::Inspection;
using quorvel::fuzz::Bytes;
using quorvel::fuzz::Fail;
using quorvel::engine::MemoryFileOps;
using quorvel::fuzz::Outcome;

const std::string kIn = "in.mid";

// The number of the track a reason names ("... track 12 ..."), if any.
std::optional<int> TrackNamed(const std::string& reason) {
    const std::string word = "track ";
    const std::size_t at = reason.find(word);
    if (at == std::string::npos) return std::nullopt;
    std::size_t end = at + word.size();
    int n = 0;
    while (end < reason.size() && std::isdigit(static_cast<unsigned char>(reason[end])) != 0)
        n = n * 10 + (reason[end++] - '0');
    return end == at + word.size() ? std::nullopt : std::optional<int>(n);
}

template <typename Convert>
Outcome Convert(Convert convert, const Bytes& input, int maxCode) {
    return quorvel::fuzz::Run([&] { return convert(input).code; }, maxCode);
}

bool IsMalformed(const Outcome& o) { return o.refused && o.text.rfind("Malformed Midifile: ", 0) == 0; }
std::string ReasonOf(const Outcome& o) { return o.text.substr(std::string("Malformed Midifile: ").size()); }

void CheckItself(const Inspection& info) {
    // Every input up to the image's size is readable; the fuzzer's inputs are smaller.
    if (!info.Readable()) Fail("a small file was not readable: " + *info.readError);
    if (info.problem && info.problem->empty()) Fail("a problem without a description");
    if (info.WellFormed()) {
        if (!info.headerRead) Fail("a well-formed file without a header");
        if (static_cast<int>(info.eventsPerTrack.size()) != info.tracks)
            Fail("a well-formed file with " + std::to_string(info.eventsPerTrack.size()) + " of " +
                 std::to_string(info.tracks) + " tracks walked");
        if (info.format > 1 || info.tracks < 1 || info.division < 1) Fail("a well-formed file with a bad header");
    }
    if (info.trailingBytes < 0 || info.missingBytes < 0) Fail("a negative count of bytes");
    if (info.missingBytes > 0 && (info.format != 0 || info.tracks != 1 || info.problem))
        Fail("missing bytes outside the split's rules");
    if (info.karaokeMarkerTrack > info.tracks) Fail("the karaoke marker in a track that does not exist");
}

void CheckAgainstSplit(const Inspection& info, const Bytes& input) {
    const Outcome split = Convert(
        [](const Bytes& in) { return quorvel::engine::ConvertToType1(std::span<const std::uint8_t>(in)); }, input, 6);
    if (info.problem) {
        if (!IsMalformed(split)) Fail("info found \"" + *info.problem + "\", the split " + split.Describe());
        if (ReasonOf(split) != *info.problem)
            Fail("info found \"" + *info.problem + "\", the split \"" + ReasonOf(split) + "\"");
        return;
    }
    if (IsMalformed(split)) Fail("info found no problem, the split " + split.Describe());
    if (split.refused) return;  // too large for the image
    const int expected = info.missingBytes > 0 ? 4 : info.trailingBytes > 0 ? 3 : 0;
    if (split.code != expected)
        Fail("the split " + split.Describe() + " where info expects result " + std::to_string(expected));
}

void CheckAgainstMerge(const Inspection& info, const Bytes& input) {
    const Outcome merge = Convert(
        [](const Bytes& in) { return quorvel::engine::ConvertToType0(std::span<const std::uint8_t>(in)); }, input, 3);
    if (info.problem) {
        if (!IsMalformed(merge)) Fail("info found \"" + *info.problem + "\", the merge " + merge.Describe());
        // Header faults and gaps name no track.
        if (TrackNamed(ReasonOf(merge)) == TrackNamed(*info.problem) && ReasonOf(merge) != *info.problem)
            Fail("info found \"" + *info.problem + "\", the merge \"" + ReasonOf(merge) + "\"");
        return;
    }
    if (IsMalformed(merge)) Fail("info found no problem, the merge " + merge.Describe());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, data + size);
    MemoryFileOps ops;
    ops.Put(kIn, input);
    Inspection info;
    try {
        info = quorvel::engine::InspectFile(kIn, ops);
    } catch (const std::exception& e) {
        Fail(std::string("unexpected exception: ") + e.what());
    } catch (...) {
        Fail("unexpected exception of unknown type");
    }
    if (ops.OpenHandles() != 0) Fail("the inspection left a file open");
    if (ops.Files().size() != 1 || ops.Files().begin()->second != input) Fail("the inspection changed the files");
    CheckItself(info);

    if (!info.headerRead) {
        // Both conversions check the header the same way before anything else.
        CheckAgainstSplit(info, input);
        CheckAgainstMerge(info, input);
    } else if (info.format == 0 && info.tracks == 1) {
        CheckAgainstSplit(info, input);
    } else if (info.format == 1 && info.tracks <= 256) {
        CheckAgainstMerge(info, input);
    }
    return 0;
}
