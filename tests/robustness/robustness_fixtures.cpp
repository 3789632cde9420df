#include "robustness_fixtures.hpp"

#include <span>
#include <stdexcept>
#include <utility>

#include "quorvel/engine/conversions.hpp"

namespace quorvel::testing {
namespace {

using ConvertFn = int (*)(const std::filesystem::path&, const std::filesystem::path&, engine::FileOps&);

const Bytes kEnd = Hex("00 FF 2F 00");

Bytes Notes(std::uint8_t channel) {
    const auto on = static_cast<std::uint8_t>(0x90 | channel);
    const auto off = static_cast<std::uint8_t>(0x80 | channel);
    return Bytes{0x00, on, 0x3C, 0x40, 0x30, off, 0x3C, 0x00, 0x00, on, 0x3E, 0x40, 0x30, off, 0x3E, 0x00};
}

// A sysex event of 17000 data bytes: its output no longer fits one 16384-byte page.
Bytes LongSysex() {
    Bytes data(17000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 101);
    data.push_back(0xF7);
    Bytes event{0x00, 0xF0};
    const Bytes length = VarLen(static_cast<std::uint32_t>(data.size()));
    event.insert(event.end(), length.begin(), length.end());
    event.insert(event.end(), data.begin(), data.end());
    return event;
}

using ConvertBytesFn = engine::ConversionResult (*)(std::span<const std::uint8_t>);

// The output of an unhindered run, from the entry on bytes.
Bytes Converted(ConvertBytesFn convert, const Bytes& input) {
    engine::ConversionResult result = convert(input);
    if (result.code != 0) throw std::runtime_error("a fixture input did not convert");
    return std::move(result.output);
}

ConversionKind Make(const char* name, ConvertFn convert, ConvertBytesFn convertBytes, Bytes small, Bytes large,
                    Bytes refused, int code) {
    ConversionKind kind{name, convert, std::move(small), std::move(large), {}, {}, std::move(refused), code};
    kind.smallOutput = Converted(convertBytes, kind.smallInput);
    kind.largeOutput = Converted(convertBytes, kind.largeInput);
    return kind;
}

}  // namespace

const std::vector<ConversionKind>& ConversionKinds() {
    static const std::vector<ConversionKind> kinds = [] {
        const Bytes tempo = Meta(0, 0x51, Hex("07 A1 20"));
        const Bytes format1 = Concat({Header(1, 2, 96), Track(Concat({tempo, kEnd})), Track(Concat({Notes(0), kEnd}))});
        const Bytes format1Large = Concat({Header(1, 2, 96), Track(Concat({tempo, kEnd})),
                                           Track(Concat({Notes(1), LongSysex(), kEnd}))});
        const Bytes format0 = Concat({Header(0, 1, 96), Track(Concat({tempo, Notes(0), Notes(3), kEnd}))});
        const Bytes format0Large = Concat({Header(0, 1, 96), Track(Concat({tempo, Notes(2), LongSysex(), kEnd}))});
        return std::vector<ConversionKind>{
            Make("ConvertToType0", static_cast<ConvertFn>(&engine::ConvertToType0),
                 static_cast<ConvertBytesFn>(&engine::ConvertToType0), format1, format1Large, format0, 2),
            Make("ConvertToType1", static_cast<ConvertFn>(&engine::ConvertToType1),
                 static_cast<ConvertBytesFn>(&engine::ConvertToType1), format0, format0Large, format1, 2),
        };
    }();
    return kinds;
}

std::map<std::string, Bytes> Snapshot(const std::filesystem::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : Bytes{};
    return files;
}

int OpenDescriptorCount() {
#ifdef __linux__
    std::error_code ec;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    return ec ? -1 : count;
#else
    return -1;
#endif
}

}  // namespace quorvel::testing
