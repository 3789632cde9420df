// Every file operation of a conversion failing in turn: each failure ends in the right
// IoError, leaves no temporary file behind, and changes no file on disk, neither an
// earlier file at the output name nor the input (also when converting in place).
#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <string>

#include "quorvel/engine/errors.hpp"
#include "robustness_fixtures.hpp"

namespace quorvel::testing {
namespace {

using Op = FaultyFileOps::Op;

struct Fault {
    const char* name;
    Op op;
    int nth;                 // which call of op fails, 1-based
    int error;               // the errno it fails with
    std::ptrdiff_t partial;  // for Write: deliver this many bytes, then fail every later call
    bool largeInput;         // an output of two pages
    int code;                // the IoError code expected
    std::string text;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

std::string Other(int error) { return "I/O error " + std::to_string(error); }

// One row per call that can fail, and the short writes. Which errno value becomes
// which code is io_error_mapping_tests' business; here each failure only has to come
// out of its call mapped, with nothing changed on disk. Close call 1 closes the input
// after loading it, call 2 the output.
const Fault kFaults[] = {
    {"ReadOfInputDenied", Op::Read, 1, EACCES, -1, false, 5, "File access denied"},
    {"ReadOfSecondPageHardwareError", Op::Read, 2, EIO, -1, true, EIO, Other(EIO)},
    {"CloseOfInputFails", Op::Close, 1, EBADF, -1, false, EBADF, Other(EBADF)},
    {"CreateInMissingDirectory", Op::CreateNew, 1, ENOENT, -1, false, 2, "File not found"},
    {"WriteOnFullDisk", Op::Write, 1, ENOSPC, -1, false, 101, "Disk full"},
    {"ShortWriteThenFullDisk", Op::Write, 1, ENOSPC, 10, false, 101, "Disk full"},
    {"WriteOfNothing", Op::Write, 1, 0, 0, false, 101, "Disk full"},
#ifdef EDQUOT
    {"ShortWriteThenOverQuota", Op::Write, 1, EDQUOT, 100, true, 101, "Disk full"},
#endif
    {"CloseOfOutputOnFullDisk", Op::Close, 2, ENOSPC, -1, true, 101, "Disk full"},
    {"RenameAcrossDevices", Op::Rename, 1, EXDEV, -1, false, EXDEV, Other(EXDEV)},
};

void ExpectSameFiles(const std::map<std::string, Bytes>& before, const std::map<std::string, Bytes>& after) {
    std::vector<std::string> namesBefore, namesAfter;
    for (const auto& [name, bytes] : before) namesBefore.push_back(name);
    for (const auto& [name, bytes] : after) namesAfter.push_back(name);
    ASSERT_EQ(namesAfter, namesBefore) << "files in the output directory";
    for (const auto& [name, bytes] : before)
        EXPECT_TRUE(after.at(name) == bytes)
            << name << " changed: " << after.at(name).size() << " bytes, was " << bytes.size();
}

class FaultInjection : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultInjection, EndsInIoErrorAndChangesNoFile) {
    const Fault& fault = GetParam();
    for (const ConversionKind& kind : ConversionKinds()) {
        for (const bool inPlace : {false, true}) {
            SCOPED_TRACE(std::string(kind.name) + (inPlace ? ", in place" : ", beside an earlier output"));
            TempDir dir;
            const auto in = dir / "in.mid";
            const auto out = inPlace ? in : dir / "out.mid";
            WriteFile(in, fault.largeInput ? kind.largeInput : kind.smallInput);
            if (!inPlace) WriteFile(out, Text("an earlier output file"));
            const auto before = Snapshot(dir.Path());
            const int descriptors = OpenDescriptorCount();

            FaultyFileOps ops(fault.op, fault.nth, fault.error, fault.partial);
            try {
                const int code = kind.convert(in, out, ops);
                ADD_FAILURE() << "returned " << code << " instead of throwing";
            } catch (const engine::IoError& e) {
                EXPECT_EQ(e.Code(), fault.code);
                EXPECT_EQ(std::string(e.what()), fault.text);
            }
            ExpectSameFiles(before, Snapshot(dir.Path()));
            EXPECT_EQ(OpenDescriptorCount(), descriptors) << "file descriptors left open";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, FaultInjection, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// The injector itself: a fault armed for a call that never comes changes nothing, so
// the failures above are the injected ones and not the fixture's.
TEST(FaultInjectionControl, UnreachedFaultLetsTheConversionSucceed) {
    const struct {
        Op op;
        int nth;
    } unreached[] = {{Op::Read, 9}, {Op::Write, 3}, {Op::Close, 3}, {Op::Rename, 2}, {Op::CreateNew, 2}};
    for (const ConversionKind& kind : ConversionKinds()) {
        for (const auto& u : unreached) {
            SCOPED_TRACE(std::string(kind.name) + ", op " + std::to_string(static_cast<int>(u.op)));
            TempDir dir;
            WriteFile(dir / "in.mid", kind.largeInput);
            WriteFile(dir / "out.mid", Text("an earlier output file"));
            FaultyFileOps ops(u.op, u.nth, EIO);
            ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", ops), 0);
            EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"}));
            EXPECT_TRUE(ReadFile(dir / "out.mid") == kind.largeOutput);
            EXPECT_TRUE(ReadFile(dir / "in.mid") == kind.largeInput);
        }
    }
}

// A write that delivers part of the bytes is not an error: the rest follows.
TEST(FaultInjectionControl, ShortWriteIsContinued) {
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        WriteFile(dir / "in.mid", kind.largeInput);
        FaultyFileOps ops(Op::Write, 1, 0, 100);
        ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", ops), 0);
        EXPECT_TRUE(ReadFile(dir / "out.mid") == kind.largeOutput);
    }
}

// A temporary name that is taken is not an error: another name is tried.
TEST(FaultInjectionControl, TakenTemporaryNameIsRetried) {
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        WriteFile(dir / "in.mid", kind.smallInput);
        FaultyFileOps ops(Op::CreateNew, 1, EEXIST);
        ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", ops), 0);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"}));
        EXPECT_TRUE(ReadFile(dir / "out.mid") == kind.smallOutput);
    }
}

// An input that cannot be opened, for whatever reason, gives result 1 and no exception:
// nothing is created, and an earlier file at the output name (or the input itself,
// converted in place) stays as it was.
TEST(FaultInjectionControl, InputThatCannotBeOpenedGivesResultOne) {
    for (const ConversionKind& kind : ConversionKinds()) {
        for (const int error : {ENOENT, EACCES, EMFILE, EIO, ENAMETOOLONG}) {
            for (const bool inPlace : {false, true}) {
                SCOPED_TRACE(std::string(kind.name) + ", errno " + std::to_string(error) +
                             (inPlace ? ", in place" : ""));
                TempDir dir;
                const auto out = inPlace ? dir / "in.mid" : dir / "out.mid";
                WriteFile(dir / "in.mid", kind.smallInput);
                if (!inPlace) WriteFile(out, Text("an earlier output file"));
                const auto before = Snapshot(dir.Path());
                FaultyFileOps ops(Op::OpenRead, 1, error);
                EXPECT_EQ(kind.convert(dir / "in.mid", out, ops), 1);
                EXPECT_EQ(Snapshot(dir.Path()), before);
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::testing
