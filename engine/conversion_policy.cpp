// The conversions' entries with a replace policy. The conversions write through
// FileImage::SaveOutput, whose last step replaces; NeverReplace hands them a FileOps
// whose replacing move is the no-replace one, so the refusal happens in the move itself.
#include "quorvel/engine/conversions.hpp"

namespace quorvel::engine {
namespace {

// ops, with Rename refusing to replace (-EEXIST when the name is taken).
class NoReplaceOps final : public FileOps {
public:
    explicit NoReplaceOps(FileOps& ops) noexcept : ops_(ops) {}
    int OpenRead(const std::filesystem::path& name) override { return ops_.OpenRead(name); }
    int CreateNew(const std::filesystem::path& name) override { return ops_.CreateNew(name); }
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override { return ops_.Read(handle, buffer, size); }
    std::int64_t SizeHint(int handle) override { return ops_.SizeHint(handle); }
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override {
        return ops_.Write(handle, buffer, size);
    }
    int Close(int handle) override { return ops_.Close(handle); }
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ops_.RenameNoReplace(from, to);
    }
    int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ops_.RenameNoReplace(from, to);
    }
    int Remove(const std::filesystem::path& name) override { return ops_.Remove(name); }
    int ExamineOutput(const std::filesystem::path& name, OutputTarget& target) override {
        return ops_.ExamineOutput(name, target);
    }
    int KeepMetadata(int handle, const std::filesystem::path& temporary, const OutputTarget& replaced) override {
        return ops_.KeepMetadata(handle, temporary, replaced);
    }
    int Flush(int handle) override { return ops_.Flush(handle); }
    int FlushFolder(const std::filesystem::path& folder) override { return ops_.FlushFolder(folder); }
    int CreateUnnamed(const std::filesystem::path& folder) override { return ops_.CreateUnnamed(folder); }
    // A link never replaces: it is the no-replace move already.
    int LinkUnnamed(int handle, const std::filesystem::path& to) override { return ops_.LinkUnnamed(handle, to); }
    bool RemoveIfAbandoned(const std::filesystem::path& name) override { return ops_.RemoveIfAbandoned(name); }

private:
    FileOps& ops_;
};

using Conversion = int (*)(const std::filesystem::path&, const std::filesystem::path&, FileOps&);

int WithPolicy(Conversion convert, const std::filesystem::path& inName, const std::filesystem::path& outName,
               ReplacePolicy policy, FileOps& ops) {
    if (policy == ReplacePolicy::Replace) return convert(inName, outName, ops);
    NoReplaceOps noReplace(ops);
    return convert(inName, outName, noReplace);
}

}  // namespace

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName, ReplacePolicy policy,
                   FileOps& ops) {
    return WithPolicy(static_cast<Conversion>(&ConvertToType0), inName, outName, policy, ops);
}

int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName, ReplacePolicy policy,
                   FileOps& ops) {
    return WithPolicy(static_cast<Conversion>(&ConvertToType1), inName, outName, policy, ops);
}

}  // namespace quorvel::engine
