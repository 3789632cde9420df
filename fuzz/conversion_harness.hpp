#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "errors.hpp"
#include "memory_file_ops.hpp"

namespace quorvel::fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// Feeds the bytes as an input file through one conversion, kept in memory, and aborts
// on anything but a result code up to maxCode, a MalformedFile or a FileTooLarge. It
// then checks what a conversion promises about files: no handle left open, the input
// unchanged, no temporary file left behind, an output only on success, and that output
// passing check (which returns an empty string for a sound file).
template <typename Convert, typename Check>
void FuzzConversion(const std::uint8_t* data, std::size_t size, Convert convert, int maxCode, Check check) {
    static const std::string inName = "in.mid";
    static const std::string outName = "out.mid";
    const Bytes input(data, data + size);
    MemoryFileOps ops;
    ops.Put(inName, input);

    int code = -1;
    bool refused = false;
    try {
        code = convert(inName, outName, ops);
    } catch (const engine::MalformedFile& e) {
        if (e.Reason().empty()) Fail("MalformedFile without a reason");
        refused = true;
    } catch (const engine::FileTooLarge&) {
        refused = true;
    } catch (const std::exception& e) {
        Fail(std::string("unexpected exception: ") + e.what());
    } catch (...) {
        Fail("unexpected exception of unknown type");
    }

    if (!refused && (code < 0 || code > maxCode)) Fail("result code " + std::to_string(code));
    if (ops.OpenHandles() != 0) Fail(std::to_string(ops.OpenHandles()) + " file handles left open");
    const auto& files = ops.Files();
    const auto in = files.find(inName);
    if (in == files.end() || in->second != input) Fail("the input file changed");
    const bool success = !refused && code == 0;
    if (files.size() != (success ? 2u : 1u)) {
        std::string names;
        for (const auto& [name, bytes] : files) names += " " + name;
        Fail("unexpected files after result " + std::to_string(code) + (refused ? " (refused)" : "") +
             ":" + names);
    }
    if (success) {
        const auto out = files.find(outName);
        if (out == files.end()) Fail("success without an output file");
        if (const std::string fault = check(input, out->second); !fault.empty())
            Fail("unsound output: " + fault);
    }
}

}  // namespace quorvel::fuzz
