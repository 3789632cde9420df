// The memory batch the web page runs: order, output paths, texts and bytes as the other
// front ends give them, the file that cannot be held, and a batch ended early.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quorvel/batch/memory_batch.hpp"
#include "quorvel/batch/naming.hpp"
#include "quorvel/engine/conversions.hpp"
#include "smf_test_support.hpp"

namespace quorvel::batch {
namespace {

using quorvel::testing::Bytes;

Bytes Format1() {
    return quorvel::testing::Concat(
        {quorvel::testing::Header(1, 2, 96), quorvel::testing::Track(quorvel::testing::Meta(0, 0x2F, {})),
         quorvel::testing::Track(quorvel::testing::Concat({quorvel::testing::Hex("00 90 3C 40 60 80 3C 40"),
                                                           quorvel::testing::Meta(0, 0x2F, {})}))});
}

Bytes Format0() {
    return quorvel::testing::Concat(
        {quorvel::testing::Header(0, 1, 96),
         quorvel::testing::Track(quorvel::testing::Concat({quorvel::testing::Hex("00 90 3C 40 60 80 3C 40"),
                                                           quorvel::testing::Meta(0, 0x2F, {})}))});
}

// A path with "/" between folders as lines show it on this platform.
std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', PathSeparator);
    return path;
}

std::vector<std::string> Order(const MemoryBatch& batch) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < batch.Size(); ++i) names.push_back(batch.File(i).shownName);
    return names;
}

TEST(MemoryBatch, ListsAChosenFolderAsQuorvelCliDoesATree) {
    const MemoryBatch batch(BatchKind::Smf0, {{"loose.mid", false},
                                              {"midi/Sub/b.mid", true},
                                              {"midi/cover.txt", true},
                                              {"midi/B.mid", true},
                                              {"midi/a.MID", true},
                                              {"midi/Sub/Deeper/c.kar", true},
                                              {"midi/Other/d.mid", true},
                                              {"notes.txt", false}});
    EXPECT_EQ(Order(batch), (std::vector<std::string>{"loose.mid", "a.MID", "B.mid", Native("Other/d.mid"),
                                                      Native("Sub/b.mid"), Native("Sub/Deeper/c.kar"), "notes.txt"}));
    EXPECT_EQ(batch.File(1).outputPath, "a.mid");
    EXPECT_EQ(batch.File(5).outputPath, "Sub/Deeper/c.mid");
    EXPECT_EQ(batch.File(1).input, 4u);
}

TEST(MemoryBatch, ConvertsWithTheEngineAndWordsAsEveryFrontEnd) {
    MemoryBatch batch(BatchKind::Smf0, {{"song.mid", false}, {"zero.mid", false}, {"broken.mid", false}});
    const MemoryResult song = batch.Convert(0, Format1());
    EXPECT_EQ(song.outcome.text, "song.mid converted to type 0");
    EXPECT_EQ(song.output, engine::ConvertToType0(Format1()).output);
    EXPECT_FALSE(song.output.empty());
    const MemoryResult zero = batch.Convert(1, Format0());
    EXPECT_EQ(zero.outcome.text, "zero.mid - Not a Type 1 Midifile");
    EXPECT_TRUE(zero.output.empty());
    const MemoryResult broken = batch.Convert(2, quorvel::testing::Hex("4D 54 68 64 00"));
    EXPECT_EQ(broken.outcome.kind, FileOutcome::Kind::Malformed);
    batch.Finish();
    EXPECT_EQ(batch.Results().lines.back(), "Conversion Complete");
    EXPECT_EQ(CountsText(batch.Results().counts), "1 converted, 2 refused, 0 failed");
}

TEST(MemoryBatch, KaraokeCopiesAFileThatIsNotFormat0) {
    MemoryBatch batch(BatchKind::Karaoke, {{"song.mid", false}});
    const MemoryResult copy = batch.Convert(0, Format1());
    EXPECT_EQ(copy.outcome.kind, FileOutcome::Kind::Copied);
    EXPECT_EQ(copy.outcome.text, "song.mid converted to karaoke");
    EXPECT_EQ(copy.output, Format1());
    EXPECT_EQ(batch.File(0).outputPath, "song.kar");
}

TEST(MemoryBatch, TwoFilesWithOneOutputName) {
    MemoryBatch batch(BatchKind::Smf0, {{"a.one.mid", false}, {"a.two.mid", false}});
    ASSERT_TRUE(batch.Decided(1));
    EXPECT_FALSE(batch.Decided(0));
    EXPECT_EQ(batch.Convert(1, {}).outcome.text, "a.two.mid - same output name as a.one.mid, not converted");
}

TEST(MemoryBatch, AFileThatCannotBeHeldIsTooLarge) {
    MemoryBatch batch(BatchKind::Smf1, {{"huge.mid", false}});
    const MemoryResult result = batch.NotHeld(0);
    EXPECT_EQ(result.outcome.kind, FileOutcome::Kind::TooLarge);
    EXPECT_EQ(result.outcome.text, "huge.mid - File too large (over the memory limit of 1 GiB)");
}

TEST(MemoryBatch, AStoppedBatchListsTheFilesNotTried) {
    MemoryBatch batch(BatchKind::Smf0, {{"a.mid", false}, {"b.mid", false}, {"c.mid", false}});
    batch.Convert(0, Format1());
    batch.Finish();
    batch.Finish();
    EXPECT_EQ(batch.Results().lines, (std::vector<std::string>{"a.mid converted to type 0", "b.mid - not tried",
                                                               "c.mid - not tried", "Stopped after 1 of 3 files"}));
    EXPECT_EQ(CountsText(batch.Results().counts), "1 converted, 0 refused, 0 failed, 2 not tried");
}

TEST(MemoryBatch, PathsStayBelowTheOutputFolder) {
    const MemoryBatch batch(BatchKind::Smf0, {{"midi/../../x.mid", true}, {"midi/./Sub//y.mid", true}});
    EXPECT_EQ(batch.File(0).outputPath, "x.mid");
    EXPECT_EQ(batch.File(1).outputPath, "Sub/y.mid");
}

}  // namespace
}  // namespace quorvel::batch
