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
                         ::testing::Values(SizeCase{0, 0}, SizeCase{100, 1}, SizeCase{16384, 1}, SizeCase{16385, 2},
                                           SizeCase{3 * 16384 + 5, 4}));

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
    for (int i = 0; i < 255; ++i) ASSERT_EQ(image.GetByte(destination + i), image.GetByte(source + i)) << "byte " << i;
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

TEST(FileImageSave, AnOutputGrownInStepsIsWrittenWhole) {
    // Grown 100000 bytes at a time to 6 MB: several blocks of growing size, one write each.
    LoadedImage loaded(Pattern(100));
    FileImage& image = loaded.image;
    image.OutputSize = 1;
    engine::Position base;
    image.AllocateOutput(base);
    const std::int64_t size = 6'000'000;
    for (std::int64_t done = 0; done < size; done += 100000) {
        image.GrowOutput(done + 100000);
        for (std::int64_t i = done + 1; i <= done + 100000; ++i)
            image.PutByte(base + i, static_cast<std::uint8_t>(i % 251));
    }
    EXPECT_LT(image.HeldBytes(), static_cast<std::uint64_t>(size + (4 << 20) + 2 * FileImage::PageSize));
    image.OutputSize = size;
    image.SaveOutput();
    const Bytes written = ReadFile(loaded.dir / "out.bin");
    ASSERT_EQ(written.size(), static_cast<std::size_t>(size));
    for (std::int64_t i = 0; i < size; ++i) ASSERT_EQ(written[i], static_cast<std::uint8_t>((i + 1) % 251)) << i;
}

// The system's files without their size: the image reads in blocks of growing size.
class UnsizedFileOps final : public engine::FileOps {
public:
    int OpenRead(const std::filesystem::path& name) override { return system_.OpenRead(name); }
    int CreateNew(const std::filesystem::path& name) override { return system_.CreateNew(name); }
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override {
        return system_.Read(handle, buffer, size);
    }
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override {
        return system_.Write(handle, buffer, size);
    }
    int Close(int handle) override { return system_.Close(handle); }
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return system_.Rename(from, to);
    }
    int Remove(const std::filesystem::path& name) override { return system_.Remove(name); }

private:
    engine::FileOps& system_ = engine::SystemFileOps();
};

TEST(FileImageCapacity, AnImagePastTheMemoryLimitIsRefused) {
    const ScopedMemoryLimit limit(64 * FileImage::PageSize);
    TempDir dir;
    WriteFile(dir / "big.bin", Bytes(64 * FileImage::PageSize, 0));
    WriteFile(dir / "most.bin", Pattern(63 * FileImage::PageSize - 1));
    UnsizedFileOps unsized;
    for (engine::FileOps* ops : {&engine::SystemFileOps(), static_cast<engine::FileOps*>(&unsized)}) {
        SCOPED_TRACE(ops == &unsized ? "size unknown" : "size known");
        FileImage image(*ops);
        ASSERT_EQ(image.OpenFiles(dir / "big.bin", dir / "out.bin"), 0);
        try {
            image.LoadInput();
            ADD_FAILURE() << "loaded";
        } catch (const engine::FileTooLarge& e) {
            EXPECT_STREQ(e.what(), "File too large (over the memory limit of 1 MiB)");
        }
        // 63 pages load whole and leave room for one page of output, not two.
        ASSERT_EQ(image.OpenFiles(dir / "most.bin", dir / "out.bin"), 0);
        image.LoadInput();
        EXPECT_EQ(image.InputPages(), 63);
        const Bytes expected = Pattern(63 * FileImage::PageSize - 1);
        for (std::size_t i = 0; i < expected.size(); i += 4093)
            ASSERT_EQ(image.GetByte(static_cast<engine::Position>(i + 1)), expected[i]);
        EXPECT_EQ(image.GetByte(static_cast<engine::Position>(expected.size())), expected.back());
        EXPECT_EQ(image.GetByte(static_cast<engine::Position>(expected.size() + 1)), 0);
        image.OutputSize = 1;
        engine::Position base;
        image.AllocateOutput(base);
        EXPECT_EQ(base, 63 * FileImage::PageSize);
        EXPECT_THROW(image.GrowOutput(FileImage::PageSize + 1), engine::FileTooLarge);
    }
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
