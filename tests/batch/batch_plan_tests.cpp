// The plan of a batch: output paths and every skip, decided before a conversion starts.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/batch/naming.hpp"
#include "quorvel/batch/batch_plan.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using batch::BatchInput;
using batch::PlanOptions;
using batch::ReplacementPolicy;

// The text of a planned refusal, or "" without one.
std::string RefusalText(const batch::PlannedFile& file) { return file.refusal ? file.refusal->text : ""; }

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

    PlanOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const std::vector<BatchInput> inputs = {
        {dir / "a.mid", "a.mid", std::nullopt},           {dir / "x.song.mid", "x.song.mid", std::nullopt},
        {dir / "x.tune.mid", "x.tune.mid", std::nullopt}, {dir / "kept.mid", "kept.mid", std::nullopt},
        {dir / "folder.mid", "folder.mid", std::nullopt}, {dir / "lost", "lost", std::string("gone away")},
    };
    const auto plan = batch::PlanBatch(inputs, options);
    ASSERT_EQ(plan.size(), inputs.size());
    EXPECT_EQ(plan[0].outputPath, dir / "out" / "a.mid");
    EXPECT_FALSE(plan[0].refusal);
    EXPECT_EQ(plan[1].outputPath, dir / "out" / "x.mid");
    EXPECT_FALSE(plan[1].refusal);
    EXPECT_EQ(RefusalText(plan[2]), "x.tune.mid - same output name as x.song.mid, not converted");
    EXPECT_EQ(RefusalText(plan[3]), "kept.mid - kept.mid exists in OUT, not replaced (use -f)");
    EXPECT_EQ(RefusalText(plan[4]), "folder.mid - not a regular file, not converted");
    EXPECT_EQ(RefusalText(plan[5]), "lost - gone away");
    using Kind = batch::FileOutcome::Kind;
    for (std::size_t i = 2; i < plan.size(); ++i) {
        const Kind expected = i == 4 ? Kind::Refused : i == 5 ? Kind::Failed : Kind::Skipped;
        EXPECT_EQ(plan[i].refusal->kind, expected) << plan[i].shownName;
    }

    options.policy = ReplacementPolicy::Replace;
    const auto forced = batch::PlanBatch(inputs, options);
    EXPECT_FALSE(forced[3].refusal) << "with force an existing output is replaced";
    EXPECT_TRUE(forced[2].refusal) << "but two inputs never write the same output";

    options.kind = batch::BatchKind::Karaoke;
    const auto karaoke = batch::PlanBatch(inputs, options);
    EXPECT_EQ(karaoke[0].outputPath, dir / "out" / "a.kar");
}

// The first input claims its output name even when it is refused itself.
TEST(BatchPlan, TheFirstInputClaimsItsOutputNameWhateverItsOutcome) {
    TempDir dir;
    fs::create_directory(dir / "out");
    WriteFile(dir / "a.b.mid", Header(1, 1, 96));
    WriteFile(dir / "a.c.mid", Header(1, 1, 96));
    WriteFile(dir / "out" / "a.mid", Header(1, 1, 96));
    PlanOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const auto plan = batch::PlanBatch(
        {{dir / "a.b.mid", "a.b.mid", std::nullopt}, {dir / "a.c.mid", "a.c.mid", std::nullopt}}, options);
    ASSERT_EQ(plan.size(), 2U);
    EXPECT_EQ(RefusalText(plan[0]), "a.b.mid - a.mid exists in OUT, not replaced (use -f)");
    EXPECT_EQ(RefusalText(plan[1]), "a.c.mid - same output name as a.b.mid, not converted");
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
    const std::vector<BatchInput> inputs = {{dir / "in" / "a" / "x.mid", "x.mid", std::nullopt, "a"},
                                            {dir / "in" / "a" / "b" / "x.y.mid", "x.y.mid", std::nullopt, ab}};
    PlanOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const auto plan = batch::PlanBatch(inputs, options);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].outputPath, dir / "out" / "a" / "x.mid");
    EXPECT_FALSE(plan[0].refusal) << "the same name in another folder is another output";
    EXPECT_EQ(plan[1].outputPath, dir / "out" / "a" / "b" / "x.mid");
    EXPECT_EQ(RefusalText(plan[1]), batch::ComposePath(ab, "x.y.mid") + " - x.mid exists in " +
                                        batch::ComposePath(batch::ComposePath("OUT", "a"), "b") +
                                        ", not replaced (use -f)");

    options.outputLabel = batch::CurrentDirectoryLabel;
    EXPECT_EQ(batch::PlanBatch(inputs, options)[1].outputIn, ab) << "without -o the folder is named alone";
}

// What stands at the output name, decided by each replacement policy: one row per
// target and policy.
TEST(BatchPlan, EachPolicyDecidesWhatStandsAtTheOutputName) {
    TempDir dir;
    fs::create_directory(dir / "out");
    for (const char* name : {"none.mid", "file.mid", "locked.mid", "folder.mid", "self.mid"})
        WriteFile(dir / name, Header(1, 1, 96));
    WriteFile(dir / "out" / "file.mid", Header(1, 1, 96));
    WriteFile(dir / "out" / "locked.mid", Header(1, 1, 96));
    fs::permissions(dir / "out" / "locked.mid", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(dir / "out" / "folder.mid");
    using Kind = batch::FileOutcome::Kind;
    using Target = batch::OutputTarget;
    struct Row {
        const char* file;
        ReplacementPolicy policy;
        Target target;
        std::optional<Kind> refusal;  // none: converted (ask says whether after a question)
        bool ask;
    };
    const Row rows[] = {
        {"none.mid", ReplacementPolicy::Refuse, Target::Nothing, std::nullopt, false},
        {"none.mid", ReplacementPolicy::Ask, Target::Nothing, std::nullopt, false},
        {"file.mid", ReplacementPolicy::Refuse, Target::File, Kind::Skipped, false},
        {"file.mid", ReplacementPolicy::Replace, Target::File, std::nullopt, false},
        {"file.mid", ReplacementPolicy::Ask, Target::File, std::nullopt, true},
        {"locked.mid", ReplacementPolicy::Replace, Target::ReadOnlyFile, Kind::Failed, false},
        {"locked.mid", ReplacementPolicy::Ask, Target::ReadOnlyFile, Kind::Failed, false},
        {"folder.mid", ReplacementPolicy::Refuse, Target::Folder, Kind::Failed, false},
        {"folder.mid", ReplacementPolicy::Replace, Target::Folder, Kind::Failed, false},
        {"folder.mid", ReplacementPolicy::Ask, Target::Folder, Kind::Failed, false},
        {"self.mid", ReplacementPolicy::Refuse, Target::Input, Kind::Skipped, false},
        {"self.mid", ReplacementPolicy::Replace, Target::Input, std::nullopt, false},
        {"self.mid", ReplacementPolicy::Ask, Target::Input, std::nullopt, true},
    };
    for (const Row& row : rows) {
        const bool self = std::string_view(row.file) == "self.mid";
        PlanOptions options;
        options.outputDirectory = self ? dir.Path() : dir / "out";
        options.outputLabel = "OUT";
        options.policy = row.policy;
        const auto plan = batch::PlanBatch({{dir / row.file, row.file, std::nullopt}}, options);
        const std::string name = std::string(row.file) + " policy " + std::to_string(static_cast<int>(row.policy));
        ASSERT_EQ(plan.size(), 1U);
        EXPECT_EQ(plan[0].target, row.target) << name;
        EXPECT_EQ(plan[0].ask, row.ask) << name;
        EXPECT_EQ(plan[0].refusal ? std::optional<Kind>(plan[0].refusal->kind) : std::nullopt, row.refusal) << name;
    }
    // The texts of the refusals that are new to the plan: a read-only output is a file
    // error, and a folder is never replaced.
    PlanOptions replacing;
    replacing.outputDirectory = dir / "out";
    replacing.outputLabel = "OUT";
    replacing.policy = ReplacementPolicy::Replace;
    const auto plan = batch::PlanBatch({{dir / "locked.mid", "locked.mid", std::nullopt},
                                        {dir / "folder.mid", "folder.mid", std::nullopt}},
                                       replacing);
    EXPECT_EQ(RefusalText(plan[0]), "locked.mid - File access denied");
    EXPECT_TRUE(plan[0].refusal->fileError) << "the windows end their batch on it";
    EXPECT_EQ(RefusalText(plan[1]), "folder.mid - folder.mid in OUT is not a file, not replaced");
    fs::permissions(dir / "out" / "locked.mid", fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
}  // namespace quorvel::testing
