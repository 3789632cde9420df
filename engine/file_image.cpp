#include "file_image.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "quorvel/engine/errors.hpp"
#include "temporary_output.hpp"

namespace quorvel::engine {
namespace {

[[noreturn]] void ThrowIo(std::ptrdiff_t negativeErrno) {
    throw IoError::FromErrno(static_cast<int>(-negativeErrno));
}

// Pages of finished conversions, kept for the next conversion on the same thread:
// taking a page from here costs no allocation and no fresh memory from the system
// (whose first touch of every 4 KB is a page fault). At most one image's worth.
struct PagePool {
    std::array<std::unique_ptr<std::uint8_t[]>, FileImage::SlotCount> pages;
    int count = 0;
};
thread_local PagePool pagePool;

}  // namespace

FileImage::~FileImage() {
    CloseInput();
    ReleasePages();
}

void FileImage::CloseInput() noexcept {
    if (InputFile >= 0) {
        ops_.Close(InputFile);
        InputFile = -1;
    }
}

void FileImage::ReleasePages() noexcept {
    for (int index = 0; index < SlotCount; ++index) ReturnPage(index);
    outputPages_ = 0;
}

void FileImage::ReturnPage(int index) noexcept {
    auto& page = PageTable[index];
    if (!page) return;
    if (pagePool.count < SlotCount)
        pagePool.pages[pagePool.count++] = std::move(page);
    else
        page.reset();
}

std::uint8_t* FileImage::TakePage(int slot, bool zeroed) {
    if (slot < 1 || slot > SlotCount) throw FileTooLarge();
    ReturnPage(slot - 1);
    auto& page = PageTable[slot - 1];
    if (pagePool.count > 0) {
        page = std::move(pagePool.pages[--pagePool.count]);
    } else {
        try {
            page = std::make_unique_for_overwrite<std::uint8_t[]>(PageSize);
        } catch (const std::bad_alloc&) {
            throw OutOfMemory();
        }
    }
    if (zeroed) std::memset(page.get(), 0, PageSize);
    return page.get();
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
    ReleasePages();
    InputSize = 0;
    OutputSize = 0;
    OutputBase = 0;
    for (int slot = 1;; ++slot) {
        if (slot > SlotCount) {
            // Every slot is full: one more byte means the file does not fit.
            std::uint8_t probe;
            const std::ptrdiff_t n = ops_.Read(InputFile, &probe, 1);
            if (n < 0) ThrowIo(n);
            if (n > 0) {
                ReleasePages();
                CloseInput();
                throw FileTooLarge();
            }
            break;
        }
        // Not zeroed here: the reads fill it, and the rest is zeroed below.
        std::uint8_t* page = TakePage(slot, false);
        std::int32_t filled = 0;
        // A read may deliver less than asked before the end; only 0 means the end.
        while (filled < PageSize) {
            const std::ptrdiff_t n = ops_.Read(InputFile, page + filled, PageSize - filled);
            if (n < 0) ThrowIo(n);
            if (n == 0) break;
            filled += static_cast<std::int32_t>(n);
        }
        InputSize += filled;
        if (filled == 0) {
            ReturnPage(slot - 1);
            break;
        }
        if (filled < PageSize) {
            std::memset(page + filled, 0, static_cast<std::size_t>(PageSize - filled));
            break;
        }
    }
    const int handle = InputFile;
    InputFile = -1;
    const int closed = ops_.Close(handle);
    if (closed < 0) ThrowIo(closed);
}

void FileImage::CopyRuns(Position source, Position destination, std::int32_t count) noexcept {
    while (count > 0) {
        const auto srcIndex = static_cast<std::uint32_t>(source - 1);
        const auto dstIndex = static_cast<std::uint32_t>(destination - 1);
        const std::uint32_t srcSlot = srcIndex / PageSize;
        const std::uint32_t dstSlot = dstIndex / PageSize;
        const std::uint32_t srcOffset = srcIndex % PageSize;
        const std::uint32_t dstOffset = dstIndex % PageSize;
        const auto run = static_cast<std::int32_t>(
            std::min<std::uint32_t>({static_cast<std::uint32_t>(count), PageSize - srcOffset,
                                     PageSize - dstOffset}));
        const bool srcValid = srcSlot < SlotCount && PageTable[srcSlot];
        const bool dstValid = dstSlot < SlotCount && PageTable[dstSlot];
        if (dstValid) {
            std::uint8_t* to = PageTable[dstSlot].get() + dstOffset;
            if (srcValid)
                std::memcpy(to, PageTable[srcSlot].get() + srcOffset, static_cast<std::size_t>(run));
            else
                std::memset(to, 0, static_cast<std::size_t>(run));
        }
        source += run;
        destination += run;
        count -= run;
    }
}

void FileImage::AllocateOutput(Position& base) {
    const int inputPages = InputPages();
    const std::int32_t pages = OutputSize / PageSize + (OutputSize % PageSize != 0 ? 1 : 0);
    if (inputPages + pages > SlotCount) throw FileTooLarge();
    for (int j = 1; j <= pages; ++j) TakePage(inputPages + j);
    outputPages_ = pages;
    OutputBase = inputPages * PageSize;
    base = OutputBase;
}

void FileImage::GrowOutput(std::int32_t needed) {
    const int inputPages = InputPages();
    while (OutputSize < needed) {
        TakePage(inputPages + outputPages_ + 1);
        ++outputPages_;
        OutputSize += PageSize;
    }
}

void FileImage::SaveOutput() {
    const int inputPages = InputPages();
    const std::int32_t full = OutputSize / PageSize;
    const std::int32_t rest = OutputSize % PageSize;

    TemporaryOutput output(ops_, OutputFile);
    static const std::uint8_t zeros[PageSize] = {};
    auto page = [&](int slot) -> const std::uint8_t* {
        const auto& p = PageTable[slot - 1];
        return p ? p.get() : zeros;
    };

    for (std::int32_t j = 1; j <= full; ++j) {
        output.Write(page(inputPages + j), PageSize);
        ReturnPage(inputPages + j - 1);
    }
    if (rest != 0) {
        output.Write(page(inputPages + full + 1), static_cast<std::size_t>(rest));
        ReturnPage(inputPages + full);
    }
    output.Commit(ReplacePolicy::Replace);
    outputPages_ = 0;
}

}  // namespace quorvel::engine
