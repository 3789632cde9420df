#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "quorvel/engine/errors.hpp"
#include "memory_file_ops.hpp"

namespace quorvel::fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// How one conversion ended: a result code, or the text of a MalformedFile or
// FileTooLarge. Anything else thrown is a finding.
struct Outcome {
    int code = -1;
    bool refused = false;
    std::string text;

    bool Succeeded() const noexcept { return !refused && code == 0; }
    std::string Describe() const { return refused ? "refused: " + text : "result " + std::to_string(code); }
};

template <typename Convert>
Outcome RunConversion(Convert convert, const std::string& inName, const std::string& outName,
                      MemoryFileOps& ops, int maxCode) {
    Outcome outcome;
    try {
        outcome.code = convert(inName, outName, ops);
    } catch (const engine::MalformedFile& e) {
        if (e.Reason().empty()) Fail("MalformedFile without a reason");
        outcome.refused = true;
        outcome.text = e.what();
    } catch (const engine::FileTooLarge& e) {
        outcome.refused = true;
        outcome.text = e.what();
    } catch (const std::exception& e) {
        Fail(std::string("unexpected exception: ") + e.what());
    } catch (...) {
        Fail("unexpected exception of unknown type");
    }
    if (!outcome.refused && (outcome.code < 0 || outcome.code > maxCode))
        Fail("result code " + std::to_string(outcome.code));
    if (ops.OpenHandles() != 0) Fail(std::to_string(ops.OpenHandles()) + " file handles left open");
    return outcome;
}

inline std::string Names(const MemoryFileOps& ops) {
    std::string names;
    for (const auto& [name, bytes] : ops.Files()) names += " " + name;
    return names;
}

// Feeds the bytes as an input file through one conversion, kept in memory, and aborts
// on anything but a result code up to maxCode, a MalformedFile or a FileTooLarge. It
// then checks what a conversion promises about files: no handle left open, the input
// unchanged, no temporary file left behind, an output only on success, and that output
// passing check (which returns an empty string for a sound file).
//
// The same bytes are then converted in place (output name = input name), read back in
// uneven pieces: the outcome must be the same, and the file must afterwards hold the
// output of the first run on success and the input unchanged otherwise.
template <typename Convert, typename Check>
void FuzzConversion(const std::uint8_t* data, std::size_t size, Convert convert, int maxCode, Check check) {
    static const std::string inName = "in.mid";
    static const std::string outName = "out.mid";
    const Bytes input(data, data + size);

    MemoryFileOps ops;
    ops.Put(inName, input);
    const Outcome outcome = RunConversion(convert, inName, outName, ops, maxCode);
    const auto& files = ops.Files();
    const auto in = files.find(inName);
    if (in == files.end() || in->second != input) Fail("the input file changed");
    if (files.size() != (outcome.Succeeded() ? 2u : 1u))
        Fail("unexpected files after " + outcome.Describe() + ":" + Names(ops));
    const Bytes* output = nullptr;
    if (outcome.Succeeded()) {
        const auto out = files.find(outName);
        if (out == files.end()) Fail("success without an output file");
        output = &out->second;
        if (const std::string fault = check(input, *output); !fault.empty()) Fail("unsound output: " + fault);
    }

    MemoryFileOps inPlaceOps(4093);
    inPlaceOps.Put(inName, input);
    const Outcome inPlace = RunConversion(convert, inName, inName, inPlaceOps, maxCode);
    if (inPlace.refused != outcome.refused || inPlace.code != outcome.code || inPlace.text != outcome.text)
        Fail("converting in place ended otherwise: " + inPlace.Describe() + " instead of " + outcome.Describe());
    const auto& inPlaceFiles = inPlaceOps.Files();
    if (inPlaceFiles.size() != 1u || inPlaceFiles.begin()->first != inName)
        Fail("unexpected files after converting in place:" + Names(inPlaceOps));
    if (inPlaceFiles.begin()->second != (output != nullptr ? *output : input))
        Fail(output != nullptr ? "converting in place wrote other bytes" : "a refused in-place conversion changed the input");
}

}  // namespace quorvel::fuzz
