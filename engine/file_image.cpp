#include "file_image.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_limit.hpp"
#include "temporary_output.hpp"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quorvel::engine {
namespace {

[[noreturn]] void ThrowIo(std::ptrdiff_t negativeErrno) { throw IoError::FromErrno(static_cast<int>(-negativeErrno)); }

constexpr std::uint64_t Page = FileImage::PageSize;

constexpr std::uint64_t WholePages(std::uint64_t bytes) noexcept { return (bytes + Page - 1) / Page * Page; }

// The first block for an input of unknown size, and the largest step by which the
// input and the merge's output grow: a step of output is the most the image holds
// beyond what the conversion needs.
constexpr std::uint64_t FirstInputBlock = 16 * Page;
constexpr std::uint64_t LargestStep = 256 * Page;  // 4 MiB

// Blocks of finished conversions, kept for the next conversion on the same thread:
// taking one costs no allocation and no fresh memory from the system (whose first
// touch of every 4 KB is a page fault). Two blocks (an input and an output) of at
// most SpareLimit bytes each.
constexpr std::uint64_t SpareLimit = 2 * LargestStep;
struct SpareBlock {
    FileImage::BlockPointer data;
    std::uint64_t bytes = 0;
};

// Blocks of 2 MiB and more are aligned to 2 MiB and, on Linux, offered huge pages: a
// large file then takes one page fault per 2 MiB instead of one per 4 KiB.
constexpr std::uint64_t HugePage = std::uint64_t{2} << 20;

FileImage::BlockPointer AllocateBlock(std::uint64_t& bytes) {
#ifdef __linux__
    if (bytes >= HugePage) {
        bytes = (bytes + HugePage - 1) / HugePage * HugePage;
        void* data = std::aligned_alloc(HugePage, bytes);
        if (data != nullptr) ::madvise(data, bytes, MADV_HUGEPAGE);
        return FileImage::BlockPointer(static_cast<std::uint8_t*>(data));
    }
#endif
    return FileImage::BlockPointer(static_cast<std::uint8_t*>(std::malloc(bytes)));
}
thread_local std::array<SpareBlock, 2> spareBlocks;

SpareBlock TakeBlock(std::uint64_t bytes) {
    SpareBlock* best = nullptr;
    for (auto& spare : spareBlocks)
        if (spare.data && spare.bytes >= bytes && (best == nullptr || spare.bytes < best->bytes)) best = &spare;
    if (best != nullptr) return std::exchange(*best, SpareBlock{});
    SpareBlock block;
    block.bytes = bytes;
    block.data = AllocateBlock(block.bytes);
    if (!block.data) throw OutOfMemory();
    return block;
}

void GiveBack(FileImage::BlockPointer data, std::uint64_t bytes) noexcept {
    if (bytes > SpareLimit) return;
    SpareBlock* smallest = &spareBlocks[0];
    for (auto& spare : spareBlocks)
        if (!spare.data || spare.bytes < smallest->bytes) smallest = &spare;
    if (!smallest->data || smallest->bytes < bytes) *smallest = {std::move(data), bytes};
}

}  // namespace

FileImage::FileImage(FileOps& ops) noexcept : ops_(ops), limit_(MemoryLimit()) {}

FileImage::~FileImage() {
    CloseInput();
    ReleaseExtents();
}

void FileImage::CloseInput() noexcept {
    if (InputFile >= 0) {
        ops_.Close(InputFile);
        InputFile = -1;
    }
}

void FileImage::ReleaseExtents() noexcept {
    for (auto& extent : extents_) GiveBack(std::move(extent.data), extent.bytes);
    extents_.clear();
    pages_.clear();
    SyncTable();
    held_ = 0;
}

void FileImage::FreeBlock::operator()(std::uint8_t* data) const noexcept { std::free(data); }

std::uint8_t* FileImage::AddExtent(std::uint64_t bytes, bool zeroed, bool mapped) {
    if (bytes > limit_ || held_ > limit_ - bytes) throw FileTooLarge(limit_);
    SpareBlock block = TakeBlock(bytes);
    std::uint8_t* data = block.data.get();
    if (zeroed) std::memset(data, 0, bytes);
    // The table first: if it cannot grow, the block goes back untouched.
    try {
        if (mapped) pages_.reserve(pages_.size() + bytes / Page);
        extents_.reserve(extents_.size() + 1);
    } catch (const std::bad_alloc&) {
        GiveBack(std::move(block.data), block.bytes);
        throw OutOfMemory();
    }
    if (mapped) {
        for (std::uint64_t offset = 0; offset < bytes; offset += Page) pages_.push_back(data + offset);
        SyncTable();
    }
    extents_.push_back({std::move(block.data), block.bytes});
    held_ += bytes;
    return data;
}

int FileImage::OpenFiles(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    CloseInput();
    const int handle = ops_.OpenRead(inName);
    if (handle < 0) return 1;
    InputFile = handle;
    OutputFile = outName;
    return 0;
}

void FileImage::LoadInput() {
    ReleaseExtents();
    InputSize = 0;
    OutputSize = 0;
    OutputBase = 0;
    // The input lives in one block, so that the conversions walk it with a pointer. With
    // the size known, the block takes the file and the read that finds its end;
    // otherwise (or when the file grew meanwhile) the block is replaced by one of double
    // the size and the bytes so far move over.
    const std::int64_t hint = ops_.SizeHint(InputFile);
    if (hint >= 0 && static_cast<std::uint64_t>(hint) >= limit_) throw FileTooLarge(limit_);
    std::uint64_t room = hint >= 0 ? WholePages(static_cast<std::uint64_t>(hint) + 1) : FirstInputBlock;
    room = std::min(room, limit_ / Page * Page);
    if (room == 0) throw FileTooLarge(limit_);
    std::uint8_t* block = AddExtent(room, false);
    std::uint64_t filled = 0;
    for (;;) {
        if (filled == room) {
            const std::uint64_t others = held_ - room;
            const std::uint64_t left = limit_ - std::min(limit_, others);
            const std::uint64_t size = std::min(room * 2, left / Page * Page);
            // The input fills the limit and leaves no room for an output.
            if (size <= room) throw FileTooLarge(limit_);
            block = MoveInput(size, filled, room);
            room = size;
        }
        // A read may deliver less than asked before the end; only 0 means the end.
        const std::ptrdiff_t n = ops_.Read(InputFile, block + filled, room - filled);
        if (n < 0) ThrowIo(n);
        if (n == 0) break;
        filled += static_cast<std::uint64_t>(n);
        InputSize += n;
    }
    std::memset(block + filled, 0, WholePages(filled) - filled);
    // Whole pages of the block past the input are never touched, so they take no memory
    // of the system's: they do not count against the limit.
    held_ -= (room - filled) / Page * Page;
    // Pages past the input's last one are not part of it: the output begins there.
    pages_.resize(static_cast<std::size_t>(InputPages()));
    SyncTable();
    const int handle = InputFile;
    InputFile = -1;
    const int closed = ops_.Close(handle);
    if (closed < 0) ThrowIo(closed);
}

std::uint8_t* FileImage::MoveInput(std::uint64_t bytes, std::uint64_t filled, std::uint64_t room) {
    Extent old = std::move(extents_.front());
    extents_.clear();
    pages_.clear();
    SyncTable();
    held_ -= room;
    std::uint8_t* block = nullptr;
    try {
        block = AddExtent(bytes, false);
    } catch (...) {
        GiveBack(std::move(old.data), old.bytes);
        throw;
    }
    std::memcpy(block, old.data.get(), filled);
    GiveBack(std::move(old.data), old.bytes);
    return block;
}

FileImage::Window FileImage::OutputWindow(Position p) const noexcept {
    // The extent holding position p, and how far it reaches.
    const auto index = static_cast<std::uint64_t>(p - 1);
    const std::uint64_t slot = index / Page;
    if (slot >= slots_ || table_[slot] == nullptr) return {};
    std::uint64_t last = slot;
    while (last + 1 < slots_ && table_[last + 1] == table_[last] + Page) ++last;
    return {table_[slot] + index % Page, p, static_cast<Position>((last + 1) * Page)};
}

void FileImage::CopyRuns(Position source, Position destination, std::int64_t count) noexcept {
    while (count > 0) {
        const auto srcIndex = static_cast<std::uint64_t>(source - 1);
        const auto dstIndex = static_cast<std::uint64_t>(destination - 1);
        const std::uint64_t srcSlot = srcIndex / Page;
        const std::uint64_t dstSlot = dstIndex / Page;
        const std::uint64_t srcOffset = srcIndex % Page;
        const std::uint64_t dstOffset = dstIndex % Page;
        const auto run = static_cast<std::int64_t>(std::min<std::uint64_t>({static_cast<std::uint64_t>(count),
                                                                            Page - srcOffset, Page - dstOffset}));
        const bool srcValid = srcSlot < pages_.size() && pages_[srcSlot] != nullptr;
        const bool dstValid = dstSlot < pages_.size() && pages_[dstSlot] != nullptr;
        if (dstValid) {
            std::uint8_t* to = pages_[dstSlot] + dstOffset;
            if (srcValid)
                std::memcpy(to, pages_[srcSlot] + srcOffset, static_cast<std::size_t>(run));
            else
                std::memset(to, 0, static_cast<std::size_t>(run));
        }
        source += run;
        destination += run;
        count -= run;
    }
}

void FileImage::AllocateOutput(Position& base) {
    const std::int64_t inputPages = InputPages();
    pages_.resize(static_cast<std::size_t>(inputPages));
    SyncTable();
    if (OutputSize > 0) AddExtent(WholePages(static_cast<std::uint64_t>(OutputSize)), ZeroOutput);
    OutputBase = inputPages * PageSize;
    base = OutputBase;
}

void FileImage::GrowOutput(std::int64_t needed) {
    const auto room = [this] { return static_cast<std::int64_t>(pages_.size()) * PageSize - InputPages() * PageSize; };
    while (OutputSize < needed) {
        // Steps double up to LargestStep, so that a large output takes few blocks and a
        // small one no more room than before.
        const auto have = static_cast<std::uint64_t>(room());
        const std::uint64_t missing = WholePages(static_cast<std::uint64_t>(needed - OutputSize));
        const std::uint64_t step = std::max(missing, std::clamp(have, Page, LargestStep));
        AddExtent(step, ZeroOutput);
        OutputSize = room();
    }
}

void FileImage::SaveOutput() {
    TemporaryOutput output(ops_, OutputFile);
    // The output's pages in runs of adjacent pages, one write per run.
    auto slot = static_cast<std::size_t>(InputPages());
    auto left = static_cast<std::uint64_t>(OutputSize);
    static const std::uint8_t zeros[Page] = {};
    while (left > 0) {
        const std::uint8_t* start = slot < pages_.size() && pages_[slot] != nullptr ? pages_[slot] : zeros;
        std::uint64_t run = std::min(left, Page);
        ++slot;
        if (start != zeros) {
            while (run < left && slot < pages_.size() && pages_[slot] == start + run) {
                run += std::min(left - run, Page);
                ++slot;
            }
        }
        output.Write(start, static_cast<std::size_t>(run));
        left -= run;
    }
    output.Commit(ReplacePolicy::Replace);
    ReleaseExtents();
}

std::uint8_t* FileImage::AddPieceBlock(std::uint64_t bytes) { return AddExtent(bytes, false, false); }

void FileImage::SavePieces(std::span<const Piece> pieces) {
    TemporaryOutput output(ops_, OutputFile);
    // Pieces shorter than Joined gather in one buffer, written when it fills and before
    // a long piece, which is written as it stands.
    constexpr std::size_t Joined = 64 * 1024;
    std::vector<std::uint8_t> gathered;
    try {
        gathered.reserve(Joined);
    } catch (const std::bad_alloc&) {
        throw OutOfMemory();
    }
    const auto flush = [&] {
        if (!gathered.empty()) output.Write(gathered.data(), gathered.size());
        gathered.clear();
    };
    for (const Piece& piece : pieces) {
        if (piece.size >= Joined) {
            flush();
            output.Write(piece.data, piece.size);
            continue;
        }
        if (gathered.size() + piece.size > Joined) flush();
        gathered.insert(gathered.end(), piece.data, piece.data + piece.size);
    }
    flush();
    output.Commit(ReplacePolicy::Replace);
    ReleaseExtents();
}

}  // namespace quorvel::engine
