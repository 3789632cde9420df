#include "quorvel/batch/naming.hpp"

#include <utility>

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

std::filesystem::path OutputFileName(const std::filesystem::path& name, std::string_view extension) {
    using String = std::filesystem::path::string_type;
    const String& native = name.native();
    String base = native.substr(0, native.find(static_cast<String::value_type>('.')));
    for (const char c : extension) base += static_cast<String::value_type>(c);
    return std::filesystem::path(std::move(base));
}

}  // namespace quorvel::batch
