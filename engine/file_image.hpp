#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "quorvel/engine/file_ops.hpp"

namespace quorvel::engine {

// A 1-based byte index into the image; wide enough for a track chunk of 4 GiB.
using Position = std::int64_t;

// The working memory of one conversion: pages of 16384 bytes holding the input file
// (positions 1 to InputSize, in one block of memory: see Input) and, from the next page boundary on, the output being
// built (OutputBase + 1 to OutputBase + OutputSize). The page table grows as the
// conversion needs it, bounded by the process's memory limit (FileTooLarge past it).
//
// The pages live in a few large blocks (extents): the input in one block read with a
// few large reads, the output in one block or in blocks of growing size. A page table
// entry points into its block, so byte access stays one look-up; the conversions walk
// the input and write each output block through plain pointers (Input, OutputWindow).
// An output built in pieces (the split's tracks) may also live in blocks without
// positions (AddPieceBlock), saved in order by SavePieces.
//
// Byte access never leaves the image: a position whose slot holds no page reads as 0
// and swallows writes. Bytes past the input in its last page read as 0, and output
// pages start zeroed.
class FileImage {
public:
    static constexpr std::int64_t PageSize = 16384;

    explicit FileImage(FileOps& ops = SystemFileOps()) noexcept;
    ~FileImage();
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    // Opens inName for reading and remembers outName for SaveOutput. Returns 0, or 1
    // when the input cannot be opened (nothing else is touched then).
    int OpenFiles(const std::filesystem::path& inName, const std::filesystem::path& outName);

    // Reads the whole input and closes it. Throws IoError on a read failure,
    // FileTooLarge when the file passes the memory limit, OutOfMemory.
    void LoadInput();

    // The input's bytes, position 1 first, followed by zeros to the end of its last page.
    std::uint8_t* Input() const noexcept { return slots_ > 0 ? table_[0] : nullptr; }

    // A run of positions that lie in one block of memory: data holds position first,
    // data + (last - first) position last. Empty (data nullptr) for a position without
    // a page.
    struct Window {
        std::uint8_t* data = nullptr;
        Position first = 0;
        Position last = -1;
    };
    // The window from output position p to the end of the block holding it.
    Window OutputWindow(Position p) const noexcept;

    std::uint8_t GetByte(Position p) const noexcept {
        const auto index = static_cast<std::uint64_t>(p - 1);
        const std::uint64_t slot = index / PageSize;
        if (slot >= slots_ || table_[slot] == nullptr) return 0;
        return table_[slot][index % PageSize];
    }

    void PutByte(Position p, std::uint8_t b) noexcept {
        const auto index = static_cast<std::uint64_t>(p - 1);
        const std::uint64_t slot = index / PageSize;
        if (slot >= slots_ || table_[slot] == nullptr) return;
        table_[slot][index % PageSize] = b;
    }

    // Copies count bytes from source.. to destination.., in ascending order; the two
    // runs must not overlap. Runs may cross page boundaries on either side.
    void CopyBytes(Position source, Position destination, std::int64_t count) noexcept {
        // Most copies are events of a few bytes inside one page on either side: copied
        // here directly. Everything else goes run by run through CopyRuns.
        if (count > 0 && count <= SmallCopy) {
            const std::uint8_t* from = Run(source, count);
            std::uint8_t* to = Run(destination, count);
            if (from != nullptr && to != nullptr) {
                for (std::int64_t i = 0; i < count; ++i) to[i] = from[i];
                return;
            }
        }
        CopyRuns(source, destination, count);
    }

    // Takes the pages for OutputSize bytes behind the input pages and stores OutputBase
    // in base. Throws FileTooLarge past the memory limit, OutOfMemory.
    void AllocateOutput(Position& base);

    // Makes the output area hold at least needed bytes by taking further pages behind
    // it; OutputSize becomes its new room. Throws FileTooLarge past the memory limit,
    // OutOfMemory.
    void GrowOutput(std::int64_t needed);

    // Writes OutputSize bytes from OutputBase + 1 to the output name: into a new
    // temporary file beside it, which replaces the output name only once every byte is
    // written and the file is closed. On failure the temporary file is removed, the
    // file at the output name is left as it was, and IoError is thrown.
    void SaveOutput();

    // A piece of an output built in pieces (SavePieces).
    struct Piece {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
    };
    // A block of bytes for output built in pieces: it has no positions, counts against
    // the memory limit like the pages and is released with them. Throws FileTooLarge past
    // the memory limit, OutOfMemory.
    std::uint8_t* AddPieceBlock(std::uint64_t bytes);
    // Of a piece block, bytes at its end were never written and will not be: they no
    // longer count against the memory limit (pages never touched take no memory).
    void LeaveUnused(std::uint64_t bytes) noexcept { held_ -= std::min(bytes, held_); }
    // Saves the pieces, in order, as SaveOutput saves the output area: short pieces are
    // joined so that the file takes few writes.
    void SavePieces(std::span<const Piece> pieces);

    std::int64_t InputPages() const noexcept { return (InputSize + PageSize - 1) / PageSize; }

    // The bytes the image holds now (its blocks), for the memory limit and the tests.
    std::uint64_t HeldBytes() const noexcept { return held_; }

    std::int64_t InputSize = 0;
    Position OutputBase = 0;
    std::int64_t OutputSize = 0;
    // Whether output pages start zeroed; a conversion that writes every byte of its
    // output in order (the merge) turns it off.
    bool ZeroOutput = true;

    // A block of pages, from the C allocator (aligned for huge pages when large).
    struct FreeBlock {
        void operator()(std::uint8_t* data) const noexcept;
    };
    using BlockPointer = std::unique_ptr<std::uint8_t[], FreeBlock>;

private:
    // The longest copy that CopyBytes does byte by byte without calling out.
    static constexpr std::int64_t SmallCopy = 32;

    // A block of whole pages.
    struct Extent {
        BlockPointer data;
        std::uint64_t bytes = 0;
    };

    // The count bytes from p on when they lie in one page, else nullptr.
    std::uint8_t* Run(Position p, std::int64_t count) const noexcept {
        const auto index = static_cast<std::uint64_t>(p - 1);
        const std::uint64_t slot = index / PageSize;
        const std::uint64_t offset = index % PageSize;
        if (slot >= slots_ || table_[slot] == nullptr ||
            offset + static_cast<std::uint64_t>(count) > static_cast<std::uint64_t>(PageSize))
            return nullptr;
        return table_[slot] + offset;
    }
    void CopyRuns(Position source, Position destination, std::int64_t count) noexcept;
    // Takes a block of at least bytes (a multiple of PageSize) within the memory limit
    // and maps its pages behind the last slot. Returns its first byte.
    std::uint8_t* AddExtent(std::uint64_t bytes, bool zeroed, bool mapped = true);
    // Replaces the input's block of room bytes, whose first filled bytes are read, by
    // one of bytes bytes holding them. Returns its first byte.
    std::uint8_t* MoveInput(std::uint64_t bytes, std::uint64_t filled, std::uint64_t room);
    void ReleaseExtents() noexcept;
    // Keeps table_ and slots_ in step with pages_ after every change to it.
    void SyncTable() noexcept {
        table_ = pages_.data();
        slots_ = pages_.size();
    }
    void CloseInput() noexcept;

    FileOps& ops_;
    std::vector<std::uint8_t*> pages_;
    // pages_'s data and size, read by every byte access without going through the vector.
    std::uint8_t* const* table_ = nullptr;
    std::uint64_t slots_ = 0;
    std::vector<Extent> extents_;
    std::uint64_t held_ = 0;
    std::uint64_t limit_;
    int InputFile = -1;
    std::filesystem::path OutputFile;
};

}  // namespace quorvel::engine
