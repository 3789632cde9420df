#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "quorvel/engine/file_ops.hpp"

namespace quorvel::engine {

// A 1-based byte index into the image.
using Position = std::int32_t;

// The working memory of one conversion: up to 64 pages of 16384 bytes holding the
// input file (positions 1 to InputSize) and, from the next page boundary on, the
// output being built (OutputBase + 1 to OutputBase + OutputSize).
//
// Byte access never leaves the image: a position whose slot holds no page reads as 0
// and swallows writes. Pages start zeroed, so bytes past the input read as 0 too.
class FileImage {
public:
    static constexpr std::int32_t PageSize = 16384;
    static constexpr int SlotCount = 64;

    explicit FileImage(FileOps& ops = SystemFileOps()) noexcept : ops_(ops) {}
    ~FileImage();
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    // Opens inName for reading and remembers outName for SaveOutput. Returns 0, or 1
    // when the input cannot be opened (nothing else is touched then).
    int OpenFiles(const std::filesystem::path& inName, const std::filesystem::path& outName);

    // Reads the whole input into slots 1, 2, ... and closes it. Throws IoError on a read
    // failure, FileTooLarge when the file needs more than 64 pages, OutOfMemory.
    void LoadInput();

    std::uint8_t GetByte(Position p) const noexcept {
        const auto index = static_cast<std::uint32_t>(p - 1);
        const std::uint32_t slot = index / PageSize;
        if (slot >= SlotCount || !PageTable[slot]) return 0;
        return PageTable[slot][index % PageSize];
    }

    void PutByte(Position p, std::uint8_t b) noexcept {
        const auto index = static_cast<std::uint32_t>(p - 1);
        const std::uint32_t slot = index / PageSize;
        if (slot >= SlotCount || !PageTable[slot]) return;
        PageTable[slot][index % PageSize] = b;
    }

    // Copies count bytes from source.. to destination.., in ascending order; the two
    // runs must not overlap. Runs may cross page boundaries on either side.
    void CopyBytes(Position source, Position destination, std::int32_t count) noexcept {
        // Most copies are events of a few bytes inside one page on either side: copied
        // here directly. Everything else goes run by run through CopyRuns.
        const auto srcIndex = static_cast<std::uint32_t>(source - 1);
        const auto dstIndex = static_cast<std::uint32_t>(destination - 1);
        const std::uint32_t srcSlot = srcIndex / PageSize;
        const std::uint32_t dstSlot = dstIndex / PageSize;
        const std::uint32_t srcOffset = srcIndex % PageSize;
        const std::uint32_t dstOffset = dstIndex % PageSize;
        if (count > 0 && count <= SmallCopy && srcOffset + static_cast<std::uint32_t>(count) <= PageSize &&
            dstOffset + static_cast<std::uint32_t>(count) <= PageSize && srcSlot < SlotCount &&
            dstSlot < SlotCount && PageTable[srcSlot] && PageTable[dstSlot]) {
            const std::uint8_t* from = PageTable[srcSlot].get() + srcOffset;
            std::uint8_t* to = PageTable[dstSlot].get() + dstOffset;
            for (std::int32_t i = 0; i < count; ++i) to[i] = from[i];
            return;
        }
        CopyRuns(source, destination, count);
    }

    // Takes the pages for OutputSize bytes behind the input pages and stores OutputBase
    // in base. Throws FileTooLarge past slot 64, OutOfMemory.
    void AllocateOutput(Position& base);

    // Makes the output area hold at least needed bytes by taking further pages behind
    // it; OutputSize becomes its new room. Throws FileTooLarge past slot 64, OutOfMemory.
    void GrowOutput(std::int32_t needed);

    // Writes OutputSize bytes from OutputBase + 1 to the output name: into a new
    // temporary file beside it, which replaces the output name only once every byte is
    // written and the file is closed. On failure the temporary file is removed, the
    // file at the output name is left as it was, and IoError is thrown.
    void SaveOutput();

    std::int32_t InputPages() const noexcept {
        return (InputSize + PageSize - 1) / PageSize;
    }

    std::int32_t InputSize = 0;
    std::int32_t OutputBase = 0;
    std::int32_t OutputSize = 0;

private:
    // The longest copy that CopyBytes does byte by byte without calling out.
    static constexpr std::int32_t SmallCopy = 32;

    void CopyRuns(Position source, Position destination, std::int32_t count) noexcept;
    // Puts a page into 1-based slot (zeroed unless the caller fills all of it itself).
    std::uint8_t* TakePage(int slot, bool zeroed = true);
    // Empties 0-based PageTable[index], keeping its page for later use on this thread.
    void ReturnPage(int index) noexcept;
    void ReleasePages() noexcept;
    void CloseInput() noexcept;

    FileOps& ops_;
    std::array<std::unique_ptr<std::uint8_t[]>, SlotCount> PageTable;
    int InputFile = -1;
    int outputPages_ = 0;
    std::filesystem::path OutputFile;
};

}  // namespace quorvel::engine
