#pragma once

#include <rapidcheck.h>

#include <string>
#include <vector>

#include "smf_model.hpp"
#include "smf_test_support.hpp"

// Comparisons shared by the merge and split properties; each fails the running
// property with the first difference it finds.
namespace quorvel::property {

// The events must be equal one by one (time, status, meta type, data).
void RequireSameSequence(const std::vector<ReadEvent>& got, const std::vector<ReadEvent>& want,
                         const std::string& what);

// The events must be equal as multisets: each wanted event present as often as wanted,
// nothing else present.
void RequireSameEventsInAnyOrder(std::vector<ReadEvent> got, std::vector<ReadEvent> want, const std::string& what);

// `part` must appear in `whole` in its own order (not necessarily next to each other).
void RequireSubsequence(const std::vector<ReadEvent>& whole, const std::vector<ReadEvent>& part,
                        const std::string& what);

// In a track we write, a channel event carries its status byte exactly when that
// status differs from the status byte of the event before it; system-exclusive and
// meta events always carry theirs.
void RequireMinimalRunningStatus(const std::vector<ReadEvent>& events, const std::string& what);

bool IsEndOfTrack(const ReadEvent& e);

// One conversion of a generated file: the input and output bytes and what the reference
// reader makes of them (inputs read leniently, our outputs with the strict rule that
// running status ends at meta and system-exclusive events).
struct ConversionRun {
    Bytes input;
    ReadSmf in;
    Bytes output;
    ReadSmf out;
};

// Encodes file, converts it with convert (testing::RunType0 or RunType1), requires
// result 0 and an output file, and reads both sides.
ConversionRun RunConversion(const SmfFile& file, testing::Conversion (*convert)(const testing::Bytes&));

}  // namespace quorvel::property
