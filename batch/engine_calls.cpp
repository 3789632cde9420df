#include "quorvel/batch/engine_calls.hpp"

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/file_copy.hpp"

namespace quorvel::batch {
namespace {

class RealCalls final : public EngineCalls {
public:
    int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) override {
        return engine::ConvertToType0(inName, outName);
    }
    int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName) override {
        return engine::ConvertToType1(inName, outName);
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path& inName,
                                                    const std::filesystem::path& outName) override {
        try {
            engine::CopyFileAtomically(inName, outName, engine::ReplacePolicy::NeverReplace);
            return std::nullopt;
        } catch (const engine::EngineError& e) {
            return e.what();
        }
    }
};

}  // namespace

EngineCalls& RealEngineCalls() {
    static RealCalls calls;
    return calls;
}

}  // namespace quorvel::batch
