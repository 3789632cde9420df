#include "quorvel/batch/naming.hpp"

#include <algorithm>

namespace quorvel::batch {

std::string RemoveExt(std::string_view name) {
    // Everything from the first dot on goes, however long the rest is: a name with a
    // long tail after its dot must not keep part of that tail as its base name.
    return std::string(name.substr(0, name.find('.')));
}

std::string ComposePath(std::string_view directory, std::string_view name, char separator) {
    std::string out(directory);
    if (out.empty() || out.back() != separator) out += separator;
    out += name;
    return out;
}

bool SamePathIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    const auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

}  // namespace quorvel::batch
