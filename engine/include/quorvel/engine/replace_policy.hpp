#pragma once

#include "quorvel/engine/errors.hpp"

namespace quorvel::engine {

// What the last step of writing a file does when a file of the output name exists.
enum class ReplacePolicy {
    Replace,       // the new file takes the name; the old one goes
    NeverReplace,  // the existing file stays and the new one is not written
};

// A NeverReplace write found a file at the output name, at any moment up to the last
// step; nothing was written.
class OutputFileExists : public EngineError {
public:
    OutputFileExists() : EngineError("Output file already exists") {}
};

}  // namespace quorvel::engine
