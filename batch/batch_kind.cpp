#include "quorvel/batch/batch_kind.hpp"

namespace quorvel::batch {

const BatchTraits& Traits(BatchKind kind) noexcept {
    static constexpr BatchTraits smf0{".mid", 0, "%s converted to type 0", "Conversion Complete"};
    static constexpr BatchTraits smf1{".mid", 3, "%s converted to type 1", "Operation Complete"};
    static constexpr BatchTraits karaoke{".kar", 3, "%s converted to karaoke", "Operation Complete"};
    switch (kind) {
    case BatchKind::Smf0: return smf0;
    case BatchKind::Smf1: return smf1;
    case BatchKind::Karaoke: break;
    }
    return karaoke;
}

}  // namespace quorvel::batch
