#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>
#include <string>

#include "bytes.hpp"
#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_file_ops.hpp"

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
    bool operator==(const Outcome&) const = default;
};

// Runs convert (which returns a result code) and tells how it ended; aborts on a code
// outside 0..maxCode or on an exception other than MalformedFile and FileTooLarge.
template <typename Convert>
Outcome Run(Convert convert, int maxCode) {
    Outcome outcome;
    try {
        outcome.code = convert();
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
    return outcome;
}

inline std::string Names(const engine::MemoryFileOps& ops) {
    std::string names;
    for (const auto& [name, bytes] : ops.Files()) names += " " + name;
    return names;
}

// Feeds the bytes to one conversion twice and aborts on anything but a result code up
// to maxCode, a MalformedFile or a FileTooLarge.
//
// First through the entry on bytes (convertBytes): output bytes only on success, and
// those passing check (which returns an empty string for a well-formed file). Then
// through the file form (convertFile) in memory, converting in place (output name =
// input name) and reading the input back in uneven pieces: the outcome must be the
// same, no handle may stay open, no temporary file may stay behind, and the file must
// afterwards hold the output of the first run on success and the input unchanged
// otherwise.
template <typename ConvertBytes, typename ConvertFile, typename Check>
void FuzzConversion(const std::uint8_t* data, std::size_t size, ConvertBytes convertBytes, ConvertFile convertFile,
                    int maxCode, Check check) {
    static const std::string name = "song.mid";
    const Bytes input(data, data + size);

    engine::ConversionResult result;
    const Outcome outcome = Run(
        [&] {
            result = convertBytes(std::span<const std::uint8_t>(input));
            return result.code;
        },
        maxCode);
    if (!outcome.Succeeded() && !result.output.empty()) Fail("output bytes after " + outcome.Describe());
    if (outcome.Succeeded()) {
        if (const std::string fault = check(input, result.output); !fault.empty()) Fail("malformed output: " + fault);
    }

    engine::MemoryFileOps ops(4093);
    ops.Put(name, input);
    const Outcome inPlace = Run([&] { return convertFile(name, name, ops); }, maxCode);
    if (inPlace != outcome)
        Fail("converting in place ended otherwise: " + inPlace.Describe() + " instead of " + outcome.Describe());
    if (ops.OpenHandles() != 0) Fail(std::to_string(ops.OpenHandles()) + " file handles left open");
    const auto& files = ops.Files();
    if (files.size() != 1u || files.begin()->first != name)
        Fail("unexpected files after converting in place:" + Names(ops));
    if (files.begin()->second != (outcome.Succeeded() ? result.output : input))
        Fail(outcome.Succeeded() ? "converting in place wrote other bytes"
                                 : "a refused in-place conversion changed the input");
}

}  // namespace quorvel::fuzz
