#include "quorvel/batch/messages.hpp"

namespace quorvel::batch {

std::string AboutText() {
    std::string text;
    text += "Quorvel Version 2.0 (9850)";
    text += '\r';
    text += "Desktop edition by the Quorvel developers";
    text += "\r\r";
    text += "MIDI conversion code by the two Quorvel engine authors";
    text += "\r\r";
    text += "Converts Standard MIDI Files between format 0 and format 1";
    text += '\r';
    return text;
}

std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace quorvel::batch
