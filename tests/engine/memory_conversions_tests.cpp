// The in-memory files and the conversions on bytes: MemoryFileOps behaves as the engine
// needs files to (short reads, exclusive creation, renames that replace), and the entry
// on bytes ends as the file form ends on disk: the same code, output and exception.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_file_ops.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

using engine::MemoryFileOps;

TEST(MemoryFileOps, ReadsInPiecesOfAtMostMaxRead) {
    MemoryFileOps ops(3);
    ops.Put("a.mid", Hex("01 02 03 04 05 06 07"));
    const int handle = ops.OpenRead("a.mid");
    ASSERT_GE(handle, 0);
    std::uint8_t buffer[16];
    Bytes read;
    std::vector<std::ptrdiff_t> pieces;
    for (std::ptrdiff_t n; (n = ops.Read(handle, buffer, sizeof buffer)) > 0;) {
        pieces.push_back(n);
        read.insert(read.end(), buffer, buffer + n);
    }
    EXPECT_EQ(pieces, (std::vector<std::ptrdiff_t>{3, 3, 1}));
    EXPECT_EQ(ToHex(read), "01 02 03 04 05 06 07");
    EXPECT_EQ(ops.Close(handle), 0);
    EXPECT_EQ(ops.OpenHandles(), 0u);
}

TEST(MemoryFileOps, FailsAsTheFileSystemWould) {
    MemoryFileOps ops;
    ops.Put("a.mid", Text("kept"));
    EXPECT_EQ(ops.OpenRead("missing.mid"), -ENOENT);
    EXPECT_EQ(ops.CreateNew("a.mid"), -EEXIST);
    EXPECT_EQ(ops.Rename("missing.mid", "a.mid"), -ENOENT);
    const int reading = ops.OpenRead("a.mid");
    std::uint8_t byte = 0;
    EXPECT_EQ(ops.Write(reading, &byte, 1), -EBADF);
    EXPECT_EQ(ops.Close(reading), 0);
    EXPECT_EQ(ops.Close(reading), -EBADF);
    EXPECT_EQ(ToHex(*ops.Find("a.mid")), ToHex(Text("kept")));
}

TEST(MemoryFileOps, RenameReplacesTheTarget) {
    MemoryFileOps ops;
    ops.Put("out.mid", Text("earlier"));
    const int handle = ops.CreateNew("out.tmp");
    const Bytes written = Text("new bytes");
    EXPECT_EQ(ops.Write(handle, written.data(), written.size()), 9);
    EXPECT_EQ(ops.Close(handle), 0);
    EXPECT_EQ(ops.Rename("out.tmp", "out.mid"), 0);
    // Onto itself, as when converting in place: the bytes stay.
    EXPECT_EQ(ops.Rename("out.mid", "out.mid"), 0);
    ASSERT_EQ(ops.Files().size(), 1u);
    EXPECT_EQ(ToHex(ops.Files().at("out.mid")), ToHex(written));
}

enum class Kind { Merge, Split };

struct BytesCase {
    const char* name;
    Kind kind;
    Bytes input;
    std::string outcome;  // "result N", or the exception's type and text
};

void PrintTo(const BytesCase& c, std::ostream* os) { *os << c.name; }

const Bytes kEnd = Hex("00 FF 2F 00");
const Bytes kNotes = Hex("00 90 3C 40 30 80 3C 00");

// How a conversion ended, in a form that compares: the code or the exception, and the
// output bytes.
struct Ended {
    std::string outcome;
    Bytes output;
};

template <typename Convert>
Ended Catch(Convert convert) {
    Ended ended;
    try {
        engine::ConversionResult result = convert();
        ended.outcome = "result " + std::to_string(result.code);
        ended.output = std::move(result.output);
    } catch (const engine::MalformedFile& e) {
        ended.outcome = std::string("MalformedFile: ") + e.what();
    } catch (const engine::FileTooLarge& e) {
        ended.outcome = std::string("FileTooLarge: ") + e.what();
    }
    return ended;
}

Ended FromBytes(const BytesCase& c) {
    return Catch([&] {
        return c.kind == Kind::Merge ? engine::ConvertToType0(c.input) : engine::ConvertToType1(c.input);
    });
}

Ended FromDisk(const BytesCase& c) {
    TempDir dir;
    WriteFile(dir / "in.mid", c.input);
    return Catch([&] {
        const int code = c.kind == Kind::Merge ? engine::ConvertToType0(dir / "in.mid", dir / "out.mid")
                                               : engine::ConvertToType1(dir / "in.mid", dir / "out.mid");
        return engine::ConversionResult{code, code == 0 ? ReadFile(dir / "out.mid") : Bytes{}};
    });
}

class ConvertBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(ConvertBytes, EndsAsTheFileFormOnDisk) {
    const BytesCase& c = GetParam();
    const Ended fromBytes = FromBytes(c);
    EXPECT_EQ(fromBytes.outcome.substr(0, c.outcome.size()), c.outcome);
    EXPECT_EQ(fromBytes.output.empty(), fromBytes.outcome != "result 0");
    const Ended fromDisk = FromDisk(c);
    EXPECT_EQ(fromBytes.outcome, fromDisk.outcome);
    EXPECT_EQ(ToHex(fromBytes.output), ToHex(fromDisk.output));
}

INSTANTIATE_TEST_SUITE_P(
    BothConversions, ConvertBytes,
    ::testing::Values(
        BytesCase{"MergeOfTwoTracks", Kind::Merge,
                  Concat({Header(1, 2, 96), Track(Concat({Meta(0, 0x51, Hex("07 A1 20")), kEnd})),
                          Track(Concat({kNotes, kEnd}))}),
                  "result 0"},
        BytesCase{"MergeOfFormat0", Kind::Merge, Concat({Header(0, 1, 96), Track(Concat({kNotes, kEnd}))}), "result 2"},
        BytesCase{"MergeOfTrackRunningPastItsChunk", Kind::Merge, Concat({Header(1, 1, 96), Track(Hex("00 90 3C"))}),
                  "MalformedFile: Malformed Midifile: "},
        BytesCase{"SplitOfTwoChannels", Kind::Split,
                  Concat({Header(0, 1, 96), Track(Concat({kNotes, Hex("00 91 40 40 30 81 40 00"), kEnd}))}),
                  "result 0"},
        BytesCase{"SplitOfFormat1", Kind::Split, Concat({Header(1, 1, 96), Track(Concat({kNotes, kEnd}))}), "result 2"},
        // A sysex event of 1 MiB: more than the 64 pages an image once held.
        BytesCase{"SplitOfAMebibyteSysex", Kind::Split,
                  Concat({Header(0, 1, 96),
                          Track(Concat({Hex("00 F0 C0 80 00"), Bytes((1 << 20) - 1, 0x11), Hex("F7"), kEnd}))}),
                  "result 0"}),
    [](const ::testing::TestParamInfo<BytesCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::testing
