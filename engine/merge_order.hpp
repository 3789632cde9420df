#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace quorvel::engine {

// The merge's order of events. Tracks are read side by side; at each moment the tracks
// with an event then give one event each, in track order, and a track with further
// events at the same moment (delta 0) gives its next one in the following round, again
// in track order. So an event's place is its time, then its round (its count among its
// track's events at that time), then its track: one key, compared at once.
//
// A track whose next delta cannot be read gets the key of a fault, which comes after
// the other events of its round and before the next round: that is when a reader going
// round by round would read that delta and fail.
__extension__ typedef unsigned __int128 EventKey;

// An event's order within its time, the key's low word: round << KeyTrackBits, the
// fault bit, then the track (1 to 256).
inline constexpr int KeyTrackBits = 10;
inline constexpr std::uint64_t KeyFaultBit = std::uint64_t{1} << 9;
inline constexpr std::uint64_t KeyTrackMask = KeyFaultBit - 1;
inline constexpr std::uint64_t OneRound = std::uint64_t{1} << KeyTrackBits;

constexpr EventKey KeyOf(std::uint64_t time, std::uint64_t order) noexcept {
    return static_cast<EventKey>(time) << 64 | order;
}
constexpr EventKey MakeKey(std::uint64_t time, std::uint64_t round, int track) noexcept {
    return KeyOf(time, round << KeyTrackBits | static_cast<unsigned>(track));
}
constexpr std::uint64_t KeyTime(EventKey key) noexcept { return static_cast<std::uint64_t>(key >> 64); }
constexpr std::uint64_t KeyOrder(EventKey key) noexcept { return static_cast<std::uint64_t>(key); }
constexpr std::uint64_t KeyRound(EventKey key) noexcept { return KeyOrder(key) >> KeyTrackBits; }
constexpr int OrderTrack(std::uint64_t order) noexcept { return static_cast<int>(order & KeyTrackMask); }
constexpr bool OrderIsFault(std::uint64_t order) noexcept { return (order & KeyFaultBit) != 0; }
constexpr bool KeyIsFault(EventKey key) noexcept { return OrderIsFault(KeyOrder(key)); }
// The fault order of a track whose event of order taken was just taken: after the other
// events of its round.
constexpr std::uint64_t FaultOrder(std::uint64_t taken) noexcept { return taken | KeyFaultBit; }
// The order of a track's next event at the same time as its event of order taken, and
// at a later time.
constexpr std::uint64_t NextRoundOrder(std::uint64_t taken) noexcept { return taken + OneRound; }
constexpr std::uint64_t FirstRoundOrder(int track) noexcept { return OneRound | static_cast<unsigned>(track); }

// The tracks with an event to come, as a binary min-heap of their keys (keys are
// unique: each names its track in its low bits). Most events of real files are followed
// by another of the same track: then the top's new key stays below both children and
// updating it costs two comparisons; otherwise it sinks one level per comparison pair,
// log2 of the track count levels at most.
//
// While every key fits one word (time << 24 | order, for times below 2^40 ticks and
// rounds below 2^14, far beyond real files) the heap keeps them so: a comparison and a
// move take one word instead of two. The first key that does not fit turns it to whole
// keys for the rest of the file.
class TrackHeap {
public:
    static constexpr int MaxTracks = 256;

    void Clear() noexcept {
        size_ = 0;
        whole_ = false;
        Seal();
    }
    // Adds a track's key in any order; Build orders them.
    void Add(EventKey key) noexcept {
        if (!whole_ && !Fits(KeyTime(key), KeyOrder(key))) UseWholeKeys();
        if (whole_)
            wholeKeys_[Index(size_)] = key;
        else
            shortKeys_[Index(size_)] = Short(KeyTime(key), KeyOrder(key));
        ++size_;
        Seal();
    }
    void Build() noexcept {
        for (int i = size_ / 2 - 1; i >= 0; --i) {
            if (whole_)
                Sink(wholeKeys_, i, wholeKeys_[Index(i)]);
            else
                Sink(shortKeys_, i, shortKeys_[Index(i)]);
        }
    }
    bool Empty() const noexcept { return size_ == 0; }
    // The entries in heap order, for reading every track's key at once.
    int Size() const noexcept { return size_; }
    EventKey KeyAt(int i) const noexcept { return whole_ ? wholeKeys_[Index(i)] : Whole(shortKeys_[Index(i)]); }
    int TrackAt(int i) const noexcept { return OrderTrack(KeyOrder(KeyAt(i))); }
    EventKey TopKey() const noexcept { return KeyAt(0); }
    // The top's time and order, each in one word.
    std::uint64_t TopTime() const noexcept { return whole_ ? KeyTime(wholeKeys_[0]) : shortKeys_[0] >> ShortTimeShift; }
    std::uint64_t TopOrder() const noexcept {
        return whole_ ? KeyOrder(wholeKeys_[0]) : shortKeys_[0] & ShortOrderMask;
    }
    // The smallest key below the top's (all ones when the top is alone): while the top
    // track's next key stays below it, the top track stays on top.
    EventKey SecondKey() const noexcept {
        if (size_ < 2) return ~EventKey{0};
        if (whole_) return std::min(wholeKeys_[1], wholeKeys_[2]);
        return Whole(std::min(shortKeys_[1], shortKeys_[2]));
    }
    // The top track's next event has this time and order (later than its last).
    void ReplaceTop(std::uint64_t time, std::uint64_t order) noexcept {
        if (!whole_) {
            if (Fits(time, order)) return Sink(shortKeys_, 0, Short(time, order));
            UseWholeKeys();
        }
        Sink(wholeKeys_, 0, KeyOf(time, order));
    }
    // The top track has no event left.
    void RemoveTop() noexcept {
        --size_;
        if (whole_) {
            const EventKey last = wholeKeys_[Index(size_)];
            Seal();
            if (size_ > 0) Sink(wholeKeys_, 0, last);
        } else {
            const std::uint64_t last = shortKeys_[Index(size_)];
            Seal();
            if (size_ > 0) Sink(shortKeys_, 0, last);
        }
    }

private:
    static constexpr int ShortTimeShift = 24;
    static constexpr std::uint64_t ShortOrderMask = (std::uint64_t{1} << ShortTimeShift) - 1;

    static constexpr std::size_t Index(int i) noexcept { return static_cast<std::size_t>(i); }
    static constexpr bool Fits(std::uint64_t time, std::uint64_t order) noexcept {
        return ((time >> (64 - ShortTimeShift)) | (order >> ShortTimeShift)) == 0;
    }
    static constexpr std::uint64_t Short(std::uint64_t time, std::uint64_t order) noexcept {
        return time << ShortTimeShift | order;
    }
    static constexpr EventKey Whole(std::uint64_t key) noexcept {
        return KeyOf(key >> ShortTimeShift, key & ShortOrderMask);
    }

    void UseWholeKeys() noexcept {
        for (int i = 0; i < size_; ++i) wholeKeys_[Index(i)] = Whole(shortKeys_[Index(i)]);
        whole_ = true;
    }

    // The slot past the last key holds the largest key of each kind, which no track's
    // key reaches: a node's last child then always has a right sibling to be compared
    // with, and the smaller child is chosen without a test of the heap's size.
    void Seal() noexcept {
        shortKeys_[Index(size_)] = ~std::uint64_t{0};
        wholeKeys_[Index(size_)] = ~EventKey{0};
    }

    // Places key at slot i or below, moving smaller children up.
    template <typename Key>
    void Sink(std::array<Key, MaxTracks + 1>& keys, int i, Key key) noexcept {
        for (;;) {
            int child = 2 * i + 1;
            if (child >= size_) break;
            child += static_cast<int>(keys[Index(child + 1)] < keys[Index(child)]);
            if (!(keys[Index(child)] < key)) break;
            keys[Index(i)] = keys[Index(child)];
            i = child;
        }
        keys[Index(i)] = key;
    }

    std::array<std::uint64_t, MaxTracks + 1> shortKeys_{~std::uint64_t{0}};
    std::array<EventKey, MaxTracks + 1> wholeKeys_{~EventKey{0}};
    int size_ = 0;
    bool whole_ = false;
};

}  // namespace quorvel::engine
