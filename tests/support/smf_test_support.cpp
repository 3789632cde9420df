#include "smf_test_support.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/memory_file_ops.hpp"

namespace quorvel::testing {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        path_ = std::filesystem::temp_directory_path() /
                ("quorvel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore write permission on anything a test made read-only, so it can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Header(int format, int tracks, int division) {
    return {'M',
            'T',
            'h',
            'd',
            0,
            0,
            0,
            6,
            0,
            static_cast<std::uint8_t>(format),
            static_cast<std::uint8_t>(tracks >> 8),
            static_cast<std::uint8_t>(tracks),
            static_cast<std::uint8_t>(division >> 8),
            static_cast<std::uint8_t>(division)};
}

Bytes Track(const Bytes& events) {
    const auto n = static_cast<std::uint32_t>(events.size());
    // Sized once and filled in place (GCC 12 at -O3 misreads an insert behind a short
    // vector as an out-of-bounds copy).
    Bytes out(8 + events.size());
    const std::uint8_t head[8] = {'M',
                                  'T',
                                  'r',
                                  'k',
                                  static_cast<std::uint8_t>(n >> 24),
                                  static_cast<std::uint8_t>(n >> 16),
                                  static_cast<std::uint8_t>(n >> 8),
                                  static_cast<std::uint8_t>(n)};
    std::copy(std::begin(head), std::end(head), out.begin());
    std::copy(events.begin(), events.end(), out.begin() + 8);
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes WithIdleTracks(const Bytes& file, int count, std::uint32_t time) {
    Bytes padded = file;
    const int tracks = (padded.at(10) << 8 | padded.at(11)) + count;
    padded[10] = static_cast<std::uint8_t>(tracks >> 8);
    padded[11] = static_cast<std::uint8_t>(tracks);
    const Bytes idle = Track(Concat({VarLen(time), Hex("FF 2F 00")}));
    for (int i = 0; i < count; ++i) padded.insert(padded.end(), idle.begin(), idle.end());
    return padded;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes VarLen(std::uint32_t value) {
    Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
    while (value >>= 7) out.insert(out.begin(), static_cast<std::uint8_t>((value & 0x7F) | 0x80));
    return out;
}

Bytes Meta(std::uint32_t delta, std::uint8_t type, const Bytes& data) {
    Bytes out = VarLen(delta);
    out.push_back(0xFF);
    out.push_back(type);
    const Bytes length = VarLen(static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Hex(std::string_view hex) {
    Bytes out;
    int nibbles = 0;
    std::uint8_t value = 0;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        value = static_cast<std::uint8_t>((value << 4) | digit);
        if (++nibbles == 2) {
            out.push_back(value);
            nibbles = 0;
            value = 0;
        }
    }
    return out;
}

std::string ToHex(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

namespace {
template <typename Convert>
Conversion Run(const Bytes& input, Convert convert) {
    engine::MemoryFileOps ops;
    ops.Put("in.mid", input);
    Conversion result;
    result.code = convert("in.mid", "out.mid", ops);
    if (const Bytes* output = ops.Find("out.mid")) {
        result.wroteOutput = true;
        result.output = *output;
    }
    return result;
}
}  // namespace

Conversion RunType0(const Bytes& input) {
    return Run(input, [](const auto& in, const auto& out, auto& ops) { return engine::ConvertToType0(in, out, ops); });
}

Conversion RunType1(const Bytes& input) {
    return Run(input, [](const auto& in, const auto& out, auto& ops) { return engine::ConvertToType1(in, out, ops); });
}

bool FaultyFileOps::Fails(Op op) { return op == op_ && ++calls_[static_cast<int>(op)] == nth_; }

int FaultyFileOps::OpenRead(const std::filesystem::path& name) {
    return Fails(Op::OpenRead) ? -error_ : engine::SystemFileOps().OpenRead(name);
}
int FaultyFileOps::CreateNew(const std::filesystem::path& name) {
    return Fails(Op::CreateNew) ? -error_ : engine::SystemFileOps().CreateNew(name);
}
std::ptrdiff_t FaultyFileOps::Read(int handle, void* buffer, std::size_t size) {
    return Fails(Op::Read) ? -error_ : engine::SystemFileOps().Read(handle, buffer, size);
}
std::ptrdiff_t FaultyFileOps::Write(int handle, const void* buffer, std::size_t size) {
    if (!Fails(Op::Write)) {
        const bool diskFull = op_ == Op::Write && partial_ >= 0 && error_ != 0 &&
                              calls_[static_cast<int>(Op::Write)] > nth_;
        return diskFull ? -error_ : engine::SystemFileOps().Write(handle, buffer, size);
    }
    if (partial_ < 0) return -error_;
    return engine::SystemFileOps().Write(handle, buffer,
                                         std::min<std::size_t>(size, static_cast<std::size_t>(partial_)));
}
int FaultyFileOps::Close(int handle) {
    const bool fail = Fails(Op::Close);
    const int rc = engine::SystemFileOps().Close(handle);
    return fail ? -error_ : rc;
}
int FaultyFileOps::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    return Fails(Op::Rename) ? -error_ : engine::SystemFileOps().Rename(from, to);
}
int FaultyFileOps::Remove(const std::filesystem::path& name) { return engine::SystemFileOps().Remove(name); }
int FaultyFileOps::RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    return engine::SystemFileOps().RenameNoReplace(from, to);
}
int FaultyFileOps::ExamineOutput(const std::filesystem::path& name, engine::OutputTarget& target) {
    return engine::SystemFileOps().ExamineOutput(name, target);
}
int FaultyFileOps::KeepMetadata(int handle, const std::filesystem::path& temporary,
                                const engine::OutputTarget& replaced) {
    return engine::SystemFileOps().KeepMetadata(handle, temporary, replaced);
}
int FaultyFileOps::Flush(int handle) { return engine::SystemFileOps().Flush(handle); }
int FaultyFileOps::FlushFolder(const std::filesystem::path& folder) {
    return engine::SystemFileOps().FlushFolder(folder);
}

}  // namespace quorvel::testing
