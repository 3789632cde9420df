// The plan of a batch: output paths and every skip, decided before a conversion starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorvel/batch/naming.hpp"
#include "batch_plan.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using cli::BatchOptions;
using cli::InputFile;

// The plan decides every skip before a conversion starts.
TEST(BatchPlan, SkipsAreDecidedInInputOrder) {
    TempDir dir;
    fs::create_directory(dir / "out");
    WriteFile(dir / "a.mid", Header(1, 1, 96));
    WriteFile(dir / "x.song.mid", Header(1, 1, 96));
    WriteFile(dir / "x.tune.mid", Header(1, 1, 96));
    WriteFile(dir / "kept.mid", Header(1, 1, 96));
    WriteFile(dir / "out" / "kept.mid", Header(1, 1, 96));
    fs::create_directory(dir / "folder.mid");

    BatchOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const std::vector<InputFile> inputs = {
        {dir / "a.mid", "a.mid", std::nullopt},           {dir / "x.song.mid", "x.song.mid", std::nullopt},
        {dir / "x.tune.mid", "x.tune.mid", std::nullopt}, {dir / "kept.mid", "kept.mid", std::nullopt},
        {dir / "folder.mid", "folder.mid", std::nullopt}, {dir / "lost", "lost", std::string("gone away")},
    };
    const auto plan = cli::PlanBatch(inputs, options);
    ASSERT_EQ(plan.size(), inputs.size());
    EXPECT_EQ(plan[0].outputPath, dir / "out" / "a.mid");
    EXPECT_FALSE(plan[0].refusal);
    EXPECT_EQ(plan[1].outputPath, dir / "out" / "x.mid");
    EXPECT_FALSE(plan[1].refusal);
    EXPECT_EQ(plan[2].refusal.value_or(""), "x.tune.mid - same output name as x.song.mid, not converted");
    EXPECT_EQ(plan[3].refusal.value_or(""), "kept.mid - kept.mid exists in OUT, not replaced (use -f)");
    EXPECT_EQ(plan[4].refusal.value_or(""), "folder.mid - not a regular file, not converted");
    EXPECT_EQ(plan[5].refusal.value_or(""), "lost - gone away");
    using Kind = batch::FileOutcome::Kind;
    for (std::size_t i = 2; i < plan.size(); ++i) {
        const Kind expected = i == 4 ? Kind::Refused : i == 5 ? Kind::Failed : Kind::Skipped;
        EXPECT_EQ(plan[i].refusalKind, expected) << plan[i].shownName;
    }

    options.force = true;
    const auto forced = cli::PlanBatch(inputs, options);
    EXPECT_FALSE(forced[3].refusal) << "with force an existing output is replaced";
    EXPECT_TRUE(forced[2].refusal) << "but two inputs never write the same output";

    options.kind = batch::BatchKind::Karaoke;
    const auto karaoke = cli::PlanBatch(inputs, options);
    EXPECT_EQ(karaoke[0].outputPath, dir / "out" / "a.kar");
}

// The first input claims its output name even when it is refused itself.
TEST(BatchPlan, TheFirstInputClaimsItsOutputNameWhateverItsOutcome) {
    TempDir dir;
    fs::create_directory(dir / "out");
    WriteFile(dir / "a.b.mid", Header(1, 1, 96));
    WriteFile(dir / "a.c.mid", Header(1, 1, 96));
    WriteFile(dir / "out" / "a.mid", Header(1, 1, 96));
    BatchOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const auto plan = cli::PlanBatch({{dir / "a.b.mid", "a.b.mid", std::nullopt}, {dir / "a.c.mid", "a.c.mid", std::nullopt}},
                                     options);
    ASSERT_EQ(plan.size(), 2U);
    EXPECT_EQ(plan[0].refusal.value_or(""), "a.b.mid - a.mid exists in OUT, not replaced (use -f)");
    EXPECT_EQ(plan[1].refusal.value_or(""), "a.c.mid - same output name as a.b.mid, not converted");
}

// A file from a folder below the argument goes to the same folder below the output
// directory; its lines name it and that folder by their relative paths.
TEST(BatchPlan, FilesFromSubfoldersKeepTheirFolders) {
    TempDir dir;
    fs::create_directories(dir / "in" / "a" / "b");
    fs::create_directories(dir / "out" / "a" / "b");
    WriteFile(dir / "in" / "a" / "b" / "x.y.mid", Header(1, 1, 96));
    WriteFile(dir / "in" / "a" / "x.mid", Header(1, 1, 96));
    WriteFile(dir / "out" / "a" / "b" / "x.mid", Header(1, 1, 96));
    const std::string ab = batch::ComposePath("a", "b");
    const std::vector<InputFile> inputs = {{dir / "in" / "a" / "x.mid", "x.mid", std::nullopt, "a"},
                                           {dir / "in" / "a" / "b" / "x.y.mid", "x.y.mid", std::nullopt, ab}};
    BatchOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const auto plan = cli::PlanBatch(inputs, options);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].outputPath, dir / "out" / "a" / "x.mid");
    EXPECT_FALSE(plan[0].refusal) << "the same name in another folder is another output";
    EXPECT_EQ(plan[1].outputPath, dir / "out" / "a" / "b" / "x.mid");
    EXPECT_EQ(plan[1].refusal.value_or(""), batch::ComposePath(ab, "x.y.mid") + " - x.mid exists in " +
                                                batch::ComposePath(batch::ComposePath("OUT", "a"), "b") +
                                                ", not replaced (use -f)");

    options.outputLabel = cli::CurrentDirectoryLabel;
    EXPECT_EQ(cli::PlanBatch(inputs, options)[1].outputIn, ab) << "without -o the folder is named alone";
}

}  // namespace
}  // namespace quorvel::testing
