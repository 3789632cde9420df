// The file image holds input and output together up to the memory limit. Files past it
// are refused with FileTooLarge, with nothing created or changed; files past the 64
// pages the image once held convert under the default limit.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/conversions.hpp"
#include "robustness_fixtures.hpp"

namespace quorvel::testing {
namespace {

constexpr std::size_t kPage = 16384;
constexpr std::size_t kImage = 64 * kPage;

// A sysex event of `size` bytes in all, delta 0 included.
Bytes SysexOfSize(std::size_t size) {
    // 00 F0, a 3-byte length, the data.
    const std::size_t data = size - 5;
    Bytes event{0x00, 0xF0, static_cast<std::uint8_t>(0x80 | ((data >> 14) & 0x7F)),
                static_cast<std::uint8_t>(0x80 | ((data >> 7) & 0x7F)), static_cast<std::uint8_t>(data & 0x7F)};
    event.resize(size, 0x11);
    event.back() = 0xF7;
    return event;
}

// Events of exactly `size` bytes (at least 9): sysex events of 5 to about 16000 bytes,
// then an end of track.
Bytes EventsOfSize(std::size_t size) {
    Bytes events;
    std::size_t left = size - 4;
    while (left > 0) {
        // Never leave a remainder too short for a sysex event of its own.
        const std::size_t piece = left > 16000 + 5 ? 16000 : left;
        const Bytes event = SysexOfSize(piece);
        events.insert(events.end(), event.begin(), event.end());
        left -= piece;
    }
    const Bytes end = Hex("00 FF 2F 00");
    events.insert(events.end(), end.begin(), end.end());
    return events;
}

// A file of exactly `size` bytes that the conversion accepts.
Bytes FileOfSize(bool format1, std::size_t size) {
    if (format1) {
        const Bytes first = Track(Hex("00 90 3C 40 60 80 3C 00 00 FF 2F 00"));
        const std::size_t rest = size - 14 - first.size() - 8;
        return Concat({Header(1, 2, 96), first, Track(EventsOfSize(rest))});
    }
    return Concat({Header(0, 1, 96), Track(EventsOfSize(size - 22))});
}

struct Capacity {
    const char* name;
    std::size_t inputSize;
    std::uint64_t limit;
    bool fits;
};

// The merge's output is about the size of its input, the split's a few bytes more, so an
// input of n pages needs about n more for the output.
const Capacity kCapacities[] = {
    {"TwelvePagesFit", 12 * kPage + 100, kImage, true},
    {"ThirtyOnePagesFit", 31 * kPage, kImage, true},
    {"ThirtyThreePagesDoNot", 33 * kPage, kImage, false},
    {"WholeLimitDoesNot", kImage, kImage, false},
    {"OneByteMoreThanTheLimit", kImage + 1, kImage, false},
    {"FourMegabytesUnderTheDefaultLimit", 4'000'000, engine::DefaultMemoryLimit, true},
};

void PrintTo(const Capacity& c, std::ostream* os) { *os << c.name; }

class ImageCapacity : public ::testing::TestWithParam<Capacity> {};

TEST_P(ImageCapacity, ConvertsOrRefusesWithoutChangingAnything) {
    const Capacity& c = GetParam();
    const ScopedMemoryLimit limit(c.limit);
    for (const ConversionKind& kind : ConversionKinds()) {
        const bool merge = std::string(kind.name) == "ConvertToType0";
        SCOPED_TRACE(kind.name);
        const Bytes input = FileOfSize(merge, c.inputSize);
        ASSERT_EQ(input.size(), c.inputSize);
        TempDir dir;
        WriteFile(dir / "in.mid", input);
        WriteFile(dir / "out.mid", Text("an earlier output file"));
        const int descriptors = OpenDescriptorCount();
        if (c.fits) {
            ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", engine::SystemFileOps()), 0);
            const Bytes output = ReadFile(dir / "out.mid");
            EXPECT_GT(output.size(), input.size() - 64);
            EXPECT_EQ(ToHex(Bytes(output.begin(), output.begin() + 4)), "4D 54 68 64");
        } else {
            try {
                kind.convert(dir / "in.mid", dir / "out.mid", engine::SystemFileOps());
                ADD_FAILURE() << "converted";
            } catch (const engine::FileTooLarge& e) {
                EXPECT_STREQ(e.what(), "File too large (over the memory limit of 1 MiB)");
            }
            EXPECT_TRUE(ReadFile(dir / "out.mid") == Text("an earlier output file"));
        }
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"}));
        EXPECT_TRUE(ReadFile(dir / "in.mid") == input);
        EXPECT_EQ(OpenDescriptorCount(), descriptors) << "file descriptors left open";
    }
}

INSTANTIATE_TEST_SUITE_P(FileImage, ImageCapacity, ::testing::ValuesIn(kCapacities),
                         [](const ::testing::TestParamInfo<Capacity>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::testing
