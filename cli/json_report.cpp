#include "json_report.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/printable_name.hpp"

namespace quorvel::cli {
namespace {

using Json = nlohmann::ordered_json;
using Kind = batch::FileOutcome::Kind;

// One line of JSON. Text that is not valid UTF-8 (only ever a name, whose exact bytes
// go into a field of their own) gets U+FFFD for each invalid byte instead of an error.
std::string Dump(const Json& object) { return object.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string Hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

// Sets object[key] to name (UTF-8 as far as valid), and object[key + "_bytes"] to its
// exact bytes in hex when it is not valid UTF-8.
void PutName(Json& object, const std::string& key, const std::string& name) {
    object[key] = name;
    if (!batch::IsValidUtf8(name)) object[key + "_bytes"] = Hex(name);
}

// A path's field: its UTF-8 name as PutName writes it. Windows names are UTF-16 and may
// hold a surrogate without its pair, which no UTF-8 carries (it reads as U+FFFD): such a
// name's exact code units follow in key + "_utf16", little-endian bytes in hex.
void PutPath(Json& object, const std::string& key, const std::filesystem::path& path) {
    PutName(object, key, batch::Utf8FromPath(path));
#ifdef _WIN32
    const std::wstring& name = path.native();
    bool paired = true;
    for (std::size_t i = 0; i < name.size() && paired; ++i) {
        const wchar_t unit = name[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            ++i;
        else if (unit >= 0xD800 && unit <= 0xDFFF)
            paired = false;
    }
    if (paired) return;
    std::string bytes;
    for (const wchar_t unit : name) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
    }
    object[key + "_utf16"] = Hex(bytes);
#endif
}

Json OrNull(bool present, const Json& value) { return present ? value : Json(nullptr); }

}  // namespace

std::string_view OutcomeName(Kind kind) noexcept {
    switch (kind) {
    case Kind::Converted: return "converted";
    case Kind::Copied: return "copied";
    case Kind::Refused: return "refused";
    case Kind::Malformed: return "malformed";
    case Kind::TooLarge: return "too-large";
    case Kind::Skipped:
    case Kind::Declined: return "skipped";
    case Kind::Failed: break;
    }
    return "failed";
}

std::string_view OutcomeName(const batch::FileOutcome& outcome) noexcept {
    if (outcome.kind == Kind::Refused && outcome.code == 1) return "failed";
    return OutcomeName(outcome.kind);
}

std::string_view DryRunRefusalName(Kind kind) noexcept {
    switch (kind) {
    case Kind::Skipped:
    case Kind::Declined: return "would-skip";
    case Kind::Refused:
    case Kind::Malformed:
    case Kind::TooLarge: return "would-refuse";
    default: return "would-fail";
    }
}

const std::vector<std::string_view>& BatchOutcomeNames() {
    static const std::vector<std::string_view> names = {"converted", "copied", "refused", "malformed",
                                                        "too-large", "failed", "skipped"};
    return names;
}

const std::vector<std::string_view>& DryRunOutcomeNames() {
    static const std::vector<std::string_view> names = {"would-convert", "would-replace", "would-skip", "would-refuse",
                                                        "would-fail"};
    return names;
}

std::string FileJson(const batch::PlannedFile& file, std::string_view outcome, int code, const std::string& message) {
    Json object;
    object["type"] = "file";
    PutPath(object, "input", file.input.path);
    if (file.input.error)
        object["output"] = nullptr;
    else
        PutPath(object, "output", file.outputPath);
    object["outcome"] = outcome;
    object["code"] = code < 0 ? Json(nullptr) : Json(code);
    object["message"] = message;
    return Dump(object);
}

std::string InfoJson(const std::string& file, const engine::Inspection& info) {
    Json object;
    object["type"] = "info";
    PutName(object, "file", file);
    object["read_error"] = info.readError ? Json(*info.readError) : Json(nullptr);
    const bool header = !info.readError && info.headerRead;
    object["format"] = OrNull(header, info.format);
    object["tracks"] = OrNull(header, info.tracks);
    object["division"] = OrNull(header, info.division);
    object["events_per_track"] = OrNull(header, info.eventsPerTrack);
    Json channels = Json::array();
    for (int c = 0; c < 16; ++c)
        if ((info.channels & (1u << c)) != 0) channels.push_back(c + 1);
    object["channels"] = OrNull(header, channels);
    object["lyric_events"] = OrNull(header, info.lyricEvents);
    object["karaoke_marker_track"] = header && info.karaokeMarkerTrack != 0 ? Json(info.karaokeMarkerTrack)
                                                                            : Json(nullptr);
    object["problem"] = info.problem ? Json(*info.problem) : Json(nullptr);
    object["missing_bytes"] = OrNull(!info.readError, info.missingBytes);
    object["trailing_bytes"] = OrNull(!info.readError, info.trailingBytes);
    object["well_formed"] = info.WellFormed();
    return Dump(object);
}

ResultReport::ResultReport(const BatchOptions& options, const std::vector<std::string_view>& outcomes)
    : json_(options.json), quiet_(options.quiet), start_(std::chrono::steady_clock::now()) {
    for (const std::string_view name : outcomes) counts_.emplace_back(name, 0);
}

std::string ResultReport::File(const batch::PlannedFile& file, std::string_view outcome, bool succeeded, int code,
                               const std::string& message) {
    ++files_;
    for (auto& [name, count] : counts_)
        if (name == outcome) ++count;
    if (json_) return FileJson(file, outcome, code, message) + '\n';
    if (quiet_ && succeeded) return {};
    return message + '\n';
}

std::string ResultReport::Final(std::string_view finalText) const {
    if (!json_) return std::string(finalText) + '\n';
    Json object;
    object["type"] = "summary";
    object["files"] = files_;
    Json counts = Json::object();
    for (const auto& [name, count] : counts_) counts[std::string(name)] = count;
    object["counts"] = std::move(counts);
    object["message"] = finalText;
    object["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return Dump(object) + '\n';
}

}  // namespace quorvel::cli
