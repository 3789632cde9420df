#pragma once

#include <string_view>

namespace quorvel::batch {

// The three batches: SMF 0 (merge), SMF 1 (split) and karaoke (split stored as .kar).
enum class BatchKind { Smf0, Smf1, Karaoke };

struct BatchTraits {
    std::string_view extension;       // ".mid" or ".kar"
    int messageOffset;                // result code C shows ConversionMessages[C + offset]
    std::string_view successPattern;  // "%s converted to type 0", ...
    std::string_view completionText;  // "Conversion Complete" or "Operation Complete"
};

const BatchTraits& Traits(BatchKind kind) noexcept;

}  // namespace quorvel::batch
