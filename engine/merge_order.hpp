#pragma once

#include <array>
#include <cstdint>

namespace quorvel::engine {

// The merge's order of events. Tracks are read side by side; at each moment the tracks
// with an event then give one event each, in track order, and a track with further
// events at the same moment (delta 0) gives its next one in the following round, again
// in track order. So an event's place is its time, then its round (its count among its
// track's events at that time), then its track: one 128-bit key, compared at once.
//
// A track whose next delta cannot be read gets the key of a fault, which comes after
// the other events of its round and before the next round: that is when a reader going
// round by round would read that delta and fail.
__extension__ typedef unsigned __int128 EventKey;

inline constexpr int KeyTrackBits = 17;
inline constexpr std::uint64_t KeyFaultBit = std::uint64_t{1} << 16;

constexpr EventKey MakeKey(std::uint64_t time, std::uint64_t round, int track) noexcept {
    return static_cast<EventKey>(time) << 64 | round << KeyTrackBits | static_cast<unsigned>(track);
}
constexpr std::uint64_t KeyTime(EventKey key) noexcept { return static_cast<std::uint64_t>(key >> 64); }
constexpr std::uint64_t KeyRound(EventKey key) noexcept { return static_cast<std::uint64_t>(key) >> KeyTrackBits; }
constexpr bool KeyIsFault(EventKey key) noexcept { return (static_cast<std::uint64_t>(key) & KeyFaultBit) != 0; }
// The fault key of track n, whose event with key taken was just taken.
constexpr EventKey FaultKey(EventKey taken, int track) noexcept {
    return MakeKey(KeyTime(taken), KeyRound(taken), 0) | KeyFaultBit | static_cast<unsigned>(track);
}
// The key of track n's next event, delta ticks after its event with key taken.
constexpr EventKey NextKey(EventKey taken, std::uint32_t delta, int track) noexcept {
    return delta == 0 ? MakeKey(KeyTime(taken), KeyRound(taken) + 1, track) : MakeKey(KeyTime(taken) + delta, 1, track);
}

// The tracks with an event to come, as a binary min-heap of their keys (keys are
// unique: each names its track). Most events of real files are followed by another of
// the same track: then the top's new key stays below both children and updating it
// costs two comparisons; otherwise it sinks one level per comparison pair, log2 of the
// track count levels at most.
class TrackHeap {
public:
    static constexpr int MaxTracks = 256;

    void Clear() noexcept { size_ = 0; }
    // Adds a track in any order; Build orders them.
    void Add(int track, EventKey key) noexcept {
        keys_[static_cast<std::size_t>(size_)] = key;
        tracks_[static_cast<std::size_t>(size_)] = static_cast<std::uint16_t>(track);
        ++size_;
    }
    void Build() noexcept {
        for (int i = size_ / 2 - 1; i >= 0; --i)
            Sink(i, keys_[static_cast<std::size_t>(i)], tracks_[static_cast<std::size_t>(i)]);
    }
    bool Empty() const noexcept { return size_ == 0; }
    // The entries in heap order, for reading every track's key at once.
    int Size() const noexcept { return size_; }
    int TrackAt(int i) const noexcept { return tracks_[static_cast<std::size_t>(i)]; }
    EventKey KeyAt(int i) const noexcept { return keys_[static_cast<std::size_t>(i)]; }
    int TopTrack() const noexcept { return tracks_[0]; }
    EventKey TopKey() const noexcept { return keys_[0]; }
    // The smallest key below the top's (all ones when the top is alone): while the top
    // track's next key stays below it, the top track stays on top.
    EventKey SecondKey() const noexcept {
        if (size_ < 2) return ~EventKey{0};
        if (size_ < 3 || keys_[1] < keys_[2]) return keys_[1];
        return keys_[2];
    }
    // The top track's next event has key (later than its last).
    void ReplaceTop(EventKey key) noexcept { Sink(0, key, tracks_[0]); }
    // The top track has no event left.
    void RemoveTop() noexcept {
        --size_;
        if (size_ > 0) Sink(0, keys_[static_cast<std::size_t>(size_)], tracks_[static_cast<std::size_t>(size_)]);
    }

private:
    // Places (key, track) at slot i or below, moving smaller children up.
    void Sink(int i, EventKey key, std::uint16_t track) noexcept {
        for (;;) {
            int child = 2 * i + 1;
            if (child >= size_) break;
            if (child + 1 < size_ &&
                keys_[static_cast<std::size_t>(child + 1)] < keys_[static_cast<std::size_t>(child)])
                ++child;
            if (!(keys_[static_cast<std::size_t>(child)] < key)) break;
            keys_[static_cast<std::size_t>(i)] = keys_[static_cast<std::size_t>(child)];
            tracks_[static_cast<std::size_t>(i)] = tracks_[static_cast<std::size_t>(child)];
            i = child;
        }
        keys_[static_cast<std::size_t>(i)] = key;
        tracks_[static_cast<std::size_t>(i)] = track;
    }

    std::array<EventKey, MaxTracks> keys_{};
    std::array<std::uint16_t, MaxTracks> tracks_{};
    int size_ = 0;
};

}  // namespace quorvel::engine
