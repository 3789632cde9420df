#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "merge_window.hpp"

namespace quorvel::engine {
namespace {

// Sorts events given as (time, round) in the order they were added (track order) and
// returns their indices in the merge's order.
std::vector<std::uint16_t> Sorted(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& keys,
                                  std::uint64_t span) {
    std::vector<WindowEvent> events;
    for (const auto& [time, round] : keys) {
        WindowEvent e{};
        e.order = WindowOrderOf(time, round);
        events.push_back(e);
    }
    std::vector<std::uint16_t> order;
    std::vector<std::uint32_t> buckets;
    SortWindow(events.data(), events.size(), span, order, buckets);
    return order;
}

struct SortCase {
    const char* name;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> keys;  // (time, round), in track order
    std::uint64_t span;
    std::vector<std::uint16_t> expected;
};

void PrintTo(const SortCase& c, std::ostream* os) { *os << c.name; }

class WindowSort : public ::testing::TestWithParam<SortCase> {};

TEST_P(WindowSort, ByTimeThenRoundThenTrack) {
    EXPECT_EQ(Sorted(GetParam().keys, GetParam().span), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowSort,
                         ::testing::Values(
                             // Two tracks' chords at one time: round by round, each round in track order.
                             SortCase{"chords", {{3, 1}, {3, 2}, {3, 3}, {3, 1}, {3, 2}}, 8, {0, 3, 1, 4, 2}},
                             // A window that starts within a time the heap took part of: a track's first event
                             // there is its third, another's its first, and none reads a second one.
                             SortCase{"startwithinatime", {{0, 3}, {0, 1}, {5, 1}}, 8, {1, 0, 2}},
                             // Events at and past the window's end are left out.
                             SortCase{"pasttheend", {{2, 1}, {8, 1}, {1, 1}, {9, 2}}, 8, {2, 0}},
                             // A window much wider than it has events: buckets of several ticks, ordered within.
                             SortCase{"widewindow",
                                      {{70000, 1}, {100000, 1}, {65000, 1}, {70000, 2}, {70000, 1}},
                                      1u << 20,
                                      {2, 0, 4, 3, 1}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::engine
