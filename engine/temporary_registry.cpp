#include "temporary_registry.hpp"

#include <atomic>
#include <cerrno>
#include <cstddef>

#include "quorvel/engine/temporary_files.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quorvel::engine {
namespace {

using Char = std::filesystem::path::value_type;

// Enough for the conversions of the largest -j at once; each holds one native name.
constexpr int SlotCount = 256;
constexpr std::size_t NameCapacity = 4096;

enum SlotState : int {
    Free,     // nothing held
    Filling,  // its owner is copying a name in
    Held,     // a name the sweep removes
    Swept,    // taken by the sweep; never used again
};

struct Slot {
    std::atomic<int> state{Free};
    Char name[NameCapacity];
};

// Plain static storage (no constructor runs at a time a signal could interrupt), only
// lock-free atomics for the coordination.
Slot slots[SlotCount];
std::atomic<bool> removed{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

}  // namespace

int RegisteredTemporary::Enter(const std::filesystem::path& name) noexcept {
    Release();
    const auto& native = name.native();
    if (native.size() >= NameCapacity) return -ENAMETOOLONG;
    if (removed.load()) return -EINTR;
    for (int i = 0; i < SlotCount; ++i) {
        int expected = Free;
        if (!slots[i].state.compare_exchange_strong(expected, Filling)) continue;
        native.copy(slots[i].name, native.size());
        slots[i].name[native.size()] = Char{};
        slots[i].state.store(Held);
        slot_ = i;
        return 0;
    }
    return -EMFILE;
}

void RegisteredTemporary::Release() noexcept {
    if (slot_ < 0) return;
    // A slot the sweep took stays with it.
    int expected = Held;
    slots[slot_].state.compare_exchange_strong(expected, Free);
    slot_ = -1;
}

bool TemporaryFilesRemoved() noexcept { return removed.load(); }

void RemoveTemporaryFiles() noexcept {
    // First close the list, then sweep: a file created after its name was entered is
    // either seen here or removed by its creator, who looks at the flag after creating.
    removed.store(true);
    for (Slot& slot : slots) {
        int expected = Held;
        if (!slot.state.compare_exchange_strong(expected, Swept)) continue;
#ifdef _WIN32
        DeleteFileW(slot.name);
#else
        ::unlink(slot.name);
#endif
    }
}

}  // namespace quorvel::engine
