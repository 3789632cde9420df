#include "quorvel/batch/engine_calls.hpp"

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/file_copy.hpp"

namespace quorvel::batch {
namespace {

using engine::ReplacePolicy;

class RealCalls final : public EngineCalls {
public:
    RealCalls(ReplacePolicy conversions, ReplacePolicy copy) noexcept : conversions_(conversions), copy_(copy) {}
    int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) override {
        return engine::ConvertToType0(inName, outName, conversions_);
    }
    int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName) override {
        return engine::ConvertToType1(inName, outName, conversions_);
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path& inName,
                                                    const std::filesystem::path& outName) override {
        return Copy(inName, outName, copy_);
    }
    std::optional<std::string> CopyFileReplacing(const std::filesystem::path& inName,
                                                 const std::filesystem::path& outName) override {
        return Copy(inName, outName, ReplacePolicy::Replace);
    }

private:
    static std::optional<std::string> Copy(const std::filesystem::path& inName, const std::filesystem::path& outName,
                                           ReplacePolicy policy) {
        try {
            engine::CopyFileAtomically(inName, outName, policy);
            return std::nullopt;
        } catch (const engine::EngineError& e) {
            return e.what();
        }
    }

    const ReplacePolicy conversions_;
    const ReplacePolicy copy_;
};

}  // namespace

EngineCalls& RealEngineCalls() {
    static RealCalls calls(ReplacePolicy::Replace, ReplacePolicy::NeverReplace);
    return calls;
}

EngineCalls& RealEngineCalls(ReplacePolicy policy) {
    static RealCalls replacing(ReplacePolicy::Replace, ReplacePolicy::Replace);
    static RealCalls neverReplacing(ReplacePolicy::NeverReplace, ReplacePolicy::NeverReplace);
    return policy == ReplacePolicy::Replace ? replacing : neverReplacing;
}

}  // namespace quorvel::batch
