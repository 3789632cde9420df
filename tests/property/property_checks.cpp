#include "property_checks.hpp"

#include <algorithm>
#include <tuple>

namespace quorvel::property {
namespace {

bool EventLess(const ReadEvent& a, const ReadEvent& b) {
    return std::tie(a.time, a.status, a.metaType, a.data) < std::tie(b.time, b.status, b.metaType, b.data);
}

}  // namespace

bool IsEndOfTrack(const ReadEvent& e) {
    return e.status == MetaStatus && e.metaType == MetaEndOfTrack && e.data.empty();
}

void RequireSameSequence(const std::vector<ReadEvent>& got, const std::vector<ReadEvent>& want,
                         const std::string& what) {
    const std::size_t common = std::min(got.size(), want.size());
    for (std::size_t i = 0; i < common; ++i)
        if (!SameEvent(got[i], want[i]))
            RC_FAIL(what + ": event " + std::to_string(i) + " is " + Describe(got[i]) + ", expected " +
                    Describe(want[i]));
    if (got.size() > want.size())
        RC_FAIL(what + ": " + std::to_string(got.size() - want.size()) + " event(s) too many, the first " +
                Describe(got[common]));
    if (got.size() < want.size())
        RC_FAIL(what + ": " + std::to_string(want.size() - got.size()) + " event(s) missing, the first " +
                Describe(want[common]));
}

void RequireSameEventsInAnyOrder(std::vector<ReadEvent> got, std::vector<ReadEvent> want, const std::string& what) {
    std::sort(got.begin(), got.end(), EventLess);
    std::sort(want.begin(), want.end(), EventLess);
    std::vector<ReadEvent> missing;
    std::vector<ReadEvent> extra;
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::back_inserter(missing), EventLess);
    std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::back_inserter(extra), EventLess);
    if (!missing.empty())
        RC_FAIL(what + ": " + std::to_string(missing.size()) + " event(s) missing, the first " +
                Describe(missing.front()));
    if (!extra.empty())
        RC_FAIL(what + ": " + std::to_string(extra.size()) + " event(s) that should not be there, the first " +
                Describe(extra.front()));
}

void RequireSubsequence(const std::vector<ReadEvent>& whole, const std::vector<ReadEvent>& part,
                        const std::string& what) {
    std::size_t next = 0;
    for (const ReadEvent& e : whole)
        if (next < part.size() && SameEvent(e, part[next])) ++next;
    if (next < part.size())
        RC_FAIL(what + ": event " + std::to_string(next) + " (" + Describe(part[next]) +
                ") not found in order after the events before it");
}

void RequireMinimalRunningStatus(const std::vector<ReadEvent>& events, const std::string& what) {
    std::uint8_t previous = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const ReadEvent& e = events[i];
        const bool needed = !IsChannelStatus(e.status) || e.status != previous;
        if (e.hadStatusByte != needed)
            RC_FAIL(what + ": event " + std::to_string(i) + " (" + Describe(e) + ") " +
                    (e.hadStatusByte ? "repeats the running status byte" : "lacks its status byte"));
        previous = e.status;
    }
}

ConversionRun RunConversion(const SmfFile& file, testing::Conversion (*convert)(const testing::Bytes&)) {
    ConversionRun run;
    run.input = Encode(file);
    run.in = ReadFileBytes(run.input, RunningStatusRule::Lenient);
    const testing::Conversion result = convert(run.input);
    RC_ASSERT(result.code == 0);
    RC_ASSERT(result.wroteOutput);
    run.output = result.output;
    run.out = ReadFileBytes(run.output, RunningStatusRule::Strict);
    return run;
}

}  // namespace quorvel::property
