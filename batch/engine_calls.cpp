#include "quorvel/batch/engine_calls.hpp"

#include <system_error>

#include "quorvel/engine/conversions.hpp"

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
    bool CopyFileFailIfExists(const std::filesystem::path& inName, const std::filesystem::path& outName,
                              std::string& reason) override {
        std::error_code ec;
        if (std::filesystem::exists(outName, ec)) {
            reason = "Output file already exists";
            return false;
        }
        if (std::filesystem::copy_file(inName, outName, std::filesystem::copy_options::none, ec)) return true;
        reason = ec == std::errc::file_exists ? std::string("Output file already exists") : ec.message();
        return false;
    }
};

}  // namespace

EngineCalls& RealEngineCalls() {
    static RealCalls calls;
    return calls;
}

}  // namespace quorvel::batch
