#include "file_controls.hpp"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "quorvel/batch/start_place.hpp"

namespace quorvel::win32 {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring Upper(std::wstring_view text) {
    std::wstring upper(text);
    if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    const int c = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                       TRUE);
    if (c != CSTR_EQUAL) return c == CSTR_LESS_THAN;
    return a < b;
}

std::wstring Join(const std::wstring& directory, std::wstring_view name) {
    std::wstring path = directory;
    if (path.empty() || !IsSeparator(path.back())) path += L'\\';
    path += name;
    return path;
}

// Calls each(find data) for every entry of directory but "." and "..". False when the
// directory cannot be listed.
template <typename Each>
bool ForEachEntry(const std::wstring& directory, Each each) {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(Join(directory, L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        each(data);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return true;
}

constexpr DWORD HiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::wstring RootOf(std::wstring_view directory) {
    if (directory.size() >= 2 && IsSeparator(directory[0]) && IsSeparator(directory[1])) {
        // \\server\share\ : the root ends after the share's name.
        std::size_t slashes = 0;
        for (std::size_t i = 2; i < directory.size(); ++i) {
            if (IsSeparator(directory[i]) && ++slashes == 2) return std::wstring(directory.substr(0, i + 1));
        }
        return std::wstring(directory) + L'\\';
    }
    if (directory.size() >= 2 && directory[1] == L':') return std::wstring(directory.substr(0, 2)) + L'\\';
    return L"\\";
}

std::wstring NormalDirectory(std::wstring_view path) {
    const std::wstring given(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (size == 0) {
            full = given;
            break;
        }
        if (size < full.size()) {
            full.resize(size);
            break;
        }
        full.resize(size);
    }
    std::replace(full.begin(), full.end(), L'/', L'\\');
    const std::wstring root = RootOf(full);
    while (full.size() > root.size() && full.back() == L'\\') full.pop_back();
    if (full.size() < root.size()) full = root;
    return full;
}

std::vector<std::wstring> DirectoryChain(std::wstring_view directory) {
    const std::wstring normal = NormalDirectory(directory);
    const std::wstring root = RootOf(normal);
    std::vector<std::wstring> chain{root};
    for (std::size_t i = root.size(); i <= normal.size(); ++i) {
        if (i == normal.size() || normal[i] == L'\\') {
            if (i > root.size()) chain.push_back(normal.substr(0, i));
        }
    }
    return chain;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool MatchesMask(std::wstring_view name, std::wstring_view mask) {
    // The batch library's wildcard rule; every letter's case is folded here first.
    return batch::MatchesMask(Narrow(Upper(name)), Narrow(Upper(mask)));
}

void CheckDirectory(const std::wstring& directory) {
    const DWORD attributes = GetFileAttributesW(directory.c_str());
    const bool listable = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                          ForEachEntry(directory, [](const WIN32_FIND_DATAW&) {});
    if (listable) return;
    if (directory.size() == 3 && directory[1] == L':' && SameName(RootOf(directory), directory)) {
        throw std::runtime_error("Drive " + Narrow(directory.substr(0, 2)) + " is not ready");
    }
    throw std::runtime_error("Cannot open the directory " + Narrow(directory));
}

std::vector<std::wstring> ListFiles(const std::wstring& directory, std::wstring_view mask) {
    std::vector<std::wstring> names;
    ForEachEntry(directory, [&](const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | HiddenOrSystem)) != 0) return;
        if (MatchesMask(data.cFileName, mask)) names.emplace_back(data.cFileName);
    });
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

std::vector<std::wstring> Subdirectories(const std::wstring& directory) {
    std::vector<std::wstring> names;
    ForEachEntry(directory, [&](const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (data.dwFileAttributes & HiddenOrSystem) != 0)
            return;
        names.emplace_back(data.cFileName);
    });
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

std::vector<Drive> Drives() {
    std::vector<Drive> drives;
    std::wstring buffer(256, L'\0');
    DWORD size = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (size > buffer.size()) {
        buffer.assign(size, L'\0');
        size = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const wchar_t* root = buffer.c_str(); *root != L'\0'; root += wcslen(root) + 1) {
        std::wstring rootText = root;
        std::wstring text = rootText.substr(0, 2);
        CharLowerBuffW(text.data(), 1);
        wchar_t label[MAX_PATH + 1] = {};
        // Floppy drives spin up (or wait) to be asked for a label; they show the letter.
        if (GetDriveTypeW(root) != DRIVE_REMOVABLE &&
            GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) && label[0] != 0) {
            text += L" [";
            text += label;
            text += L']';
        }
        drives.push_back({std::move(rootText), std::move(text)});
    }
    SetErrorMode(oldMode);
    return drives;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(std::wstring_view filter) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = filter.find(L'|', start);
        parts.emplace_back(filter.substr(start,
                                         bar == std::wstring_view::npos ? std::wstring_view::npos : bar - start));
        if (bar == std::wstring_view::npos) break;
        start = bar + 1;
    }
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) entries.emplace_back(parts[i], parts[i + 1]);
    return entries;
}

}  // namespace quorvel::win32
