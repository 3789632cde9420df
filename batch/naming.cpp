#include "quorvel/batch/naming.hpp"

#include <algorithm>

namespace quorvel::batch {

std::string RemoveExt(std::string_view name) {
    const auto dot = name.find('.');
    if (dot == std::string_view::npos) return std::string(name);
    // Removes 128 characters from the dot on, or everything after it when fewer remain.
    std::string out(name.substr(0, dot));
    if (name.size() - dot > 128) out += name.substr(dot + 128);
    return out;
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
