#pragma once

#include <QString>

#include <string_view>

namespace quorvel::app {

// A UTF-8 text of the batch library as a QString.
inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace quorvel::app
