// Micro-benchmarks of the engine: the byte paths every conversion runs through
// (FileImage::GetByte, PutByte, CopyBytes, SmfStream::ReadVarLen) and whole merges and
// splits through the conversions on bytes, with the files kept in memory so that only
// the engine is timed.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "file_image.hpp"
#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/memory_file_ops.hpp"
#include "smf_stream.hpp"

namespace {

using quorvel::engine::FileImage;
using quorvel::engine::MemoryFileOps;
using quorvel::engine::Position;
using Bytes = std::vector<std::uint8_t>;

void PutVarLen(Bytes& out, std::uint32_t v) {
    std::uint8_t buf[5];
    int n = 0;
    buf[n++] = static_cast<std::uint8_t>(v & 0x7F);
    while (v >>= 7) buf[n++] = static_cast<std::uint8_t>((v & 0x7F) | 0x80);
    while (n > 0) out.push_back(buf[--n]);
}

void PutBigEndian(Bytes& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes Header(int format, int tracks) {
    Bytes h = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    PutBigEndian(h, static_cast<std::uint32_t>(format), 2);
    PutBigEndian(h, static_cast<std::uint32_t>(tracks), 2);
    PutBigEndian(h, 480, 2);
    return h;
}

void AppendChunk(Bytes& file, const Bytes& events) {
    const Bytes tag = {'M', 'T', 'r', 'k'};
    file.insert(file.end(), tag.begin(), tag.end());
    PutBigEndian(file, static_cast<std::uint32_t>(events.size() + 4), 4);
    file.insert(file.end(), events.begin(), events.end());
    const Bytes endOfTrack = {0x00, 0xFF, 0x2F, 0x00};
    file.insert(file.end(), endOfTrack.begin(), endOfTrack.end());
}

// The events of one track of about budget bytes: note runs under running status on the
// given channels, controller changes, system-exclusive messages, long texts and lyrics.
Bytes MakeEvents(std::mt19937& rng, std::size_t budget, int firstChannel, int channels) {
    Bytes e;
    std::uint8_t running = 0;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    while (e.size() < budget) {
        const int r = pick(100);
        const int delta = pick(4) == 0 ? 0 : (pick(10) == 0 ? 128 + pick(4000) : pick(128));
        PutVarLen(e, static_cast<std::uint32_t>(delta));
        const auto channel = static_cast<std::uint8_t>((firstChannel + pick(channels)) & 0x0F);
        if (r < 85) {
            const std::uint8_t status = (r < 75 ? 0x90 : 0xB0) | channel;
            if (status != running) e.push_back(status);
            running = status;
            e.push_back(static_cast<std::uint8_t>(pick(128)));
            e.push_back(static_cast<std::uint8_t>(pick(128)));
        } else if (r < 88) {
            e.push_back(0xF0);
            const int n = 8 + pick(120);
            PutVarLen(e, static_cast<std::uint32_t>(n + 1));
            for (int i = 0; i < n; ++i) e.push_back(static_cast<std::uint8_t>(pick(128)));
            e.push_back(0xF7);
            running = 0;  // state the status of the next channel event again
        } else {
            const bool lyric = r < 96;
            const int n = lyric ? 3 + pick(12) : 128 + pick(300);
            e.push_back(0xFF);
            e.push_back(lyric ? 0x05 : 0x01);
            PutVarLen(e, static_cast<std::uint32_t>(n));
            for (int i = 0; i < n; ++i) e.push_back(static_cast<std::uint8_t>('a' + pick(26)));
        }
    }
    return e;
}

Bytes MakeFormat1(int tracks, std::size_t size) {
    std::mt19937 rng(1234);
    Bytes file = Header(1, tracks);
    const std::size_t perTrack = size / static_cast<std::size_t>(tracks);
    for (int t = 0; t < tracks; ++t) AppendChunk(file, MakeEvents(rng, perTrack, t, 1));
    return file;
}

Bytes MakeFormat0(std::size_t size) {
    std::mt19937 rng(5678);
    Bytes file = Header(0, 1);
    AppendChunk(file, MakeEvents(rng, size, 0, 16));
    return file;
}

// A file image holding an input of inputBytes (pseudo-random bytes) and an output area
// of outputBytes behind it.
struct LoadedImage {
    MemoryFileOps ops;
    FileImage image{ops};
    Position outputBase = 0;

    LoadedImage(std::int32_t inputBytes, std::int32_t outputBytes) {
        Bytes input(static_cast<std::size_t>(inputBytes));
        std::mt19937 rng(42);
        for (auto& b : input) b = static_cast<std::uint8_t>(rng());
        ops.Put("in", std::move(input));
        if (image.OpenFiles("in", "out") != 0) throw std::runtime_error("cannot open the input");
        image.LoadInput();
        image.OutputSize = outputBytes;
        image.AllocateOutput(outputBase);
    }
};

constexpr std::int32_t ImageBytes = 256 * 1024;

void BM_GetByte(benchmark::State& state) {
    LoadedImage img(ImageBytes, ImageBytes);
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (Position p = 1; p <= ImageBytes; ++p) sum += img.image.GetByte(p);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * ImageBytes);
}
BENCHMARK(BM_GetByte);

void BM_PutByte(benchmark::State& state) {
    LoadedImage img(ImageBytes, ImageBytes);
    for (auto _ : state) {
        for (Position p = 1; p <= ImageBytes; ++p) img.image.PutByte(img.outputBase + p, static_cast<std::uint8_t>(p));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * ImageBytes);
}
BENCHMARK(BM_PutByte);

// Copies the whole input into the output in runs of state.range(0) bytes, as the
// conversions copy events: most runs are 2 to 3 bytes, texts and sysex a few hundred.
void BM_CopyBytes(benchmark::State& state) {
    LoadedImage img(ImageBytes, ImageBytes);
    const auto run = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        for (Position p = 1; p + run - 1 <= ImageBytes; p += run) img.image.CopyBytes(p, img.outputBase + p, run);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (ImageBytes / run) * run);
}
BENCHMARK(BM_CopyBytes)->Arg(3)->Arg(16)->Arg(300)->Arg(16384);

// Reaches the protected readers of the stream.
class StreamProbe : public quorvel::engine::SmfStream {
public:
    using SmfStream::SmfStream;
};

// Reads a track of variable-length numbers: three quarters one byte long, the rest
// two to four bytes, as delta times are.
void BM_ReadVarLen(benchmark::State& state) {
    std::mt19937 rng(7);
    Bytes input = Header(0, 1);
    Bytes values;
    std::int64_t count = 0;
    while (values.size() < 200000) {
        const unsigned r = rng() % 4;
        const std::uint32_t v = r != 0 ? rng() % 128 : rng() % (1u << (7 * (2 + rng() % 3)));
        PutVarLen(values, v);
        ++count;
    }
    AppendChunk(input, values);
    MemoryFileOps ops;
    ops.Put("in", input);
    StreamProbe stream(ops);
    if (stream.Image.OpenFiles("in", "out") != 0) throw std::runtime_error("cannot open the input");
    stream.LoadInput();
    for (auto _ : state) {
        stream.ReadPos = 22;
        stream.TrackRemaining = static_cast<std::int32_t>(values.size() + 4);
        std::uint32_t sum = 0;
        for (std::int64_t i = 0; i < count; ++i) sum += static_cast<std::uint32_t>(stream.ReadVarLen());
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_ReadVarLen);

// A whole conversion from the bytes of the input to the bytes of the output.
void BM_MergeFile(benchmark::State& state) {
    const Bytes input = MakeFormat1(static_cast<int>(state.range(0)), 400 * 1024);
    for (auto _ : state) {
        const auto result = quorvel::engine::ConvertToType0(input);
        if (result.code != 0) state.SkipWithError("the merge refused the file");
        benchmark::DoNotOptimize(result.output.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_MergeFile)->Arg(256)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_SplitFile(benchmark::State& state) {
    const Bytes input = MakeFormat0(400 * 1024);
    for (auto _ : state) {
        const auto result = quorvel::engine::ConvertToType1(input);
        if (result.code != 0) state.SkipWithError("the split refused the file");
        benchmark::DoNotOptimize(result.output.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_SplitFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
