// libFuzzer target: the bytes are a file given to quorvel-cli's `info` reader.
//
// InspectFile reads through the engine's real file operations, so each input is
// written to a scratch file of this process first and removed after. Anything but a
// returned SmfInfo that agrees with itself, and a report that names it, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "smf_info.hpp"

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

const std::filesystem::path& ScratchFile() {
    static const std::filesystem::path path = [] {
        std::error_code ec;
        std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
        if (ec) dir = ".";
        return dir / ("quorvel-fuzz-info-" + std::to_string(::getpid()) + ".mid");
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quorvel::cli::SmfInfo;
    const auto& path = ScratchFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) Fail("cannot write the scratch file " + path.string());
    if (size != 0 && std::fwrite(data, 1, size, file) != size) Fail("cannot write the scratch file");
    std::fclose(file);

    SmfInfo info;
    std::string report;
    try {
        info = quorvel::cli::InspectFile(path);
        report = quorvel::cli::FormatInfo("in.mid", info);
        // Removed after every input: libFuzzer may end the process without running
        // destructors, and no scratch file should outlive it.
        std::remove(path.c_str());
    } catch (const std::exception& e) {
        Fail(std::string("unexpected exception: ") + e.what());
    } catch (...) {
        Fail("unexpected exception of unknown type");
    }

    // Every input up to the image's size is readable; the fuzzer's inputs are smaller.
    if (!info.Readable()) Fail("a small file was not readable: " + *info.readError);
    if (report.rfind("in.mid:", 0) != 0 || report.back() != '\n') Fail("a report without the file's name");
    if (info.Sound()) {
        if (!info.headerRead) Fail("a sound file without a header");
        if (static_cast<int>(info.eventsPerTrack.size()) != info.tracks)
            Fail("a sound file with " + std::to_string(info.eventsPerTrack.size()) + " of " +
                 std::to_string(info.tracks) + " tracks walked");
        if (info.trailingBytes < 0) Fail("negative trailing bytes");
        if (info.format > 1 || info.tracks < 1 || info.division < 1) Fail("a sound file with a bad header");
    } else if (info.problem->empty()) {
        Fail("a problem without a description");
    }
    if (info.karaokeMarkerTrack > info.tracks) Fail("the karaoke marker in a track that does not exist");
    return 0;
}
