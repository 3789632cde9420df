#include <gtest/gtest.h>


#include "quorvel/engine/errors.hpp"
#include "file_image.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

using engine::FileImage;

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// Loads bytes from a real file into a fresh image.
struct LoadedImage {
    TempDir dir;
    FileImage image;
    explicit LoadedImage(const Bytes& input) {
        WriteFile(dir / "in.bin", input);
        EXPECT_EQ(image.OpenFiles(dir / "in.bin", dir / "out.bin"), 0);
        image.LoadInput();
    }
};

struct SizeCase {
    std::size_t size;
    std::int32_t pages;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.size << " bytes"; }

class LoadInputSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(LoadInputSizes, FillsWholePagesAndPlacesTheOutputBehindThem) {
    const Bytes input = Pattern(GetParam().size);
    LoadedImage loaded(input);
    FileImage& image = loaded.image;
    EXPECT_EQ(image.InputSize, static_cast<std::int32_t>(input.size()));
    EXPECT_EQ(image.InputPages(), GetParam().pages);
    for (std::size_t i = 0; i < input.size(); i += 997)
        ASSERT_EQ(image.GetByte(static_cast<std::int32_t>(i + 1)), input[i]) << "position " << i + 1;
    if (!input.empty()) {
        EXPECT_EQ(image.GetByte(static_cast<std::int32_t>(input.size())), input.back());
    }

    image.OutputSize = 10;
    engine::Position base = -1;
    image.AllocateOutput(base);
    EXPECT_EQ(base, GetParam().pages * FileImage::PageSize);
    EXPECT_EQ(image.OutputBase, base);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LoadInputSizes,
                         ::testing::Values(SizeCase{0, 0}, SizeCase{100, 1}, SizeCase{16384, 1},
                                           SizeCase{16385, 2}, SizeCase{3 * 16384 + 5, 4}));

TEST(FileImagePositions, PageBoundariesMapToNeighbouringSlots) {
    Bytes input(16385, 0x11);
    input[16383] = 0xAA;  // position 16384: last byte of slot 1
    input[16384] = 0xBB;  // position 16385: first byte of slot 2
    LoadedImage loaded(input);
    EXPECT_EQ(loaded.image.GetByte(16384), 0xAA);
    EXPECT_EQ(loaded.image.GetByte(16385), 0xBB);
}

TEST(FileImagePositions, PositionsWithoutAPageReadZeroAndIgnoreWrites) {
    LoadedImage loaded(Pattern(100));
    FileImage& image = loaded.image;
    for (engine::Position p : {0, -5, 16385, 64 * 16384 + 1, 2147483647}) {
        image.PutByte(p, 0x55);
        EXPECT_EQ(image.GetByte(p), 0) << "position " << p;
    }
    // Past the input but inside its page: zero, never stale memory.
    EXPECT_EQ(image.GetByte(101), 0);
}

TEST(FileImageCopy, CountZeroChangesNothingAndLongRunsCrossPages) {
    LoadedImage loaded(Pattern(40000));
    FileImage& image = loaded.image;
    image.OutputSize = 3 * FileImage::PageSize;
    engine::Position base;
    image.AllocateOutput(base);
    ASSERT_EQ(base, 3 * FileImage::PageSize);

    image.PutByte(base + 1, 0x42);
    image.CopyBytes(1, base + 1, 0);
    EXPECT_EQ(image.GetByte(base + 1), 0x42);

    // 255 bytes from across the 16384/16385 seam to across the first output seam.
    const engine::Position source = 16384 - 100;
    const engine::Position destination = base + FileImage::PageSize - 50;
    image.CopyBytes(source, destination, 255);
    for (int i = 0; i < 255; ++i)
        ASSERT_EQ(image.GetByte(destination + i), image.GetByte(source + i)) << "byte " << i;
    // And a run far longer than a page.
    image.CopyBytes(1, base + 1, 40000);
    for (int i = 0; i < 40000; i += 333) ASSERT_EQ(image.GetByte(base + 1 + i), image.GetByte(1 + i));
}

TEST(FileImageSave, WritesExactlyOutputSizeBytes) {
    for (std::int32_t size : {0, 1, 16384, 32768, 40000}) {
        LoadedImage loaded(Pattern(100));
        FileImage& image = loaded.image;
        image.OutputSize = size;
        engine::Position base;
        image.AllocateOutput(base);
        for (std::int32_t i = 1; i <= size; ++i) image.PutByte(base + i, static_cast<std::uint8_t>(i * 3));
        image.SaveOutput();
        const Bytes written = ReadFile(loaded.dir / "out.bin");
        ASSERT_EQ(written.size(), static_cast<std::size_t>(size));
        for (std::int32_t i = 0; i < size; ++i) ASSERT_EQ(written[i], static_cast<std::uint8_t>((i + 1) * 3));
        EXPECT_EQ(loaded.dir.Entries(), (std::vector<std::string>{"in.bin", "out.bin"}));
    }
}

TEST(FileImageCapacity, InputBeyondSixtyFourPagesIsRefused) {
    TempDir dir;
    WriteFile(dir / "big.bin", Bytes(64 * 16384 + 1, 0));
    FileImage image;
    ASSERT_EQ(image.OpenFiles(dir / "big.bin", dir / "out.bin"), 0);
    EXPECT_THROW(image.LoadInput(), engine::FileTooLarge);

    // Exactly 64 pages load, but leave no room for an output.
    WriteFile(dir / "full.bin", Bytes(64 * 16384, 0));
    ASSERT_EQ(image.OpenFiles(dir / "full.bin", dir / "out.bin"), 0);
    image.LoadInput();
    EXPECT_EQ(image.InputPages(), 64);
    image.OutputSize = 1;
    engine::Position base;
    EXPECT_THROW(image.AllocateOutput(base), engine::FileTooLarge);
}

TEST(FileImageCapacity, NextLoadStartsFromAnEmptyTable) {
    TempDir dir;
    WriteFile(dir / "a.bin", Pattern(40000));
    WriteFile(dir / "b.bin", Bytes(10, 0x77));
    FileImage image;
    ASSERT_EQ(image.OpenFiles(dir / "a.bin", dir / "out.bin"), 0);
    image.LoadInput();
    ASSERT_EQ(image.OpenFiles(dir / "b.bin", dir / "out.bin"), 0);
    image.LoadInput();
    EXPECT_EQ(image.InputSize, 10);
    EXPECT_EQ(image.GetByte(16385), 0) << "a page of the earlier input survived";
}

}  // namespace
}  // namespace quorvel::testing
