#include "quorvel/engine/conversions.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "quorvel/engine/errors.hpp"
#include "merge_order.hpp"
#include "merge_window.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr std::int64_t MergeFirstOutput = 256 * FileImage::PageSize;

// The most events a merge window holds, and its first width in ticks; the width then
// follows the file's density of events.
constexpr std::size_t WindowMostEvents = 2048;
constexpr std::uint64_t WindowFirstSpan = 64;
constexpr std::uint64_t WindowWidestSpan = std::uint64_t{1} << 40;

// One merge: the tracks' events in the order of their keys, each written to the single
// output track behind the input (or left out), with its delta time re-stated from the
// last written event.
class Merge : public SmfStream {
public:
    using SmfStream::SmfStream;

    int Run(const std::filesystem::path& inName, const std::filesystem::path& outName) {
        KaraokeSource = false;
        if (Image.OpenFiles(inName, outName) != 0) return 1;
        LoadInput();
        ReadPos = 1;
        CheckHeader();
        if (Format != 1) return 2;
        if (NumTracks > MergeMaxTracks) return 3;
        try {
            OpenOutputArea();
            ReadTrackTable();
            MergeEvents();
        } catch (const InputOverrun&) {
            Malformed("an event runs past the end of " + TrackName());
        }
        Finish();
        Image.SaveOutput();
        return 0;
    }

private:
    // What a window read of each track: where its events lie in Window and its state
    // after them.
    struct TrackAhead {
        enum State : std::uint8_t {
            Idle,     // no event to come
            Waiting,  // not read: its key stands
            Read,     // read: at, running and key give its next event
            Ended,    // read to its end
        };
        std::uint32_t first = 0;  // its events are Window[first] to Window[last - 1]
        std::uint32_t last = 0;
        const std::uint8_t* at = nullptr;  // the next event's first byte
        EventKey key = 0;                  // the next event's key
        std::uint8_t running = 0;
        State state = Idle;
    };

    void OpenOutputArea() {
        // About the input's size to begin with (an output is usually close to it); more
        // as the events need it.
        Image.OutputSize = std::clamp<std::int64_t>(Image.InputSize, FileImage::PageSize, MergeFirstOutput);
        // Every byte of the output is written, in order, before it is saved.
        Image.ZeroOutput = false;
        Image.AllocateOutput(OutPos);
        MoveOutputWindow(OutPos + 1);
        WriteFileHeader(0, 1);
        OutPos += TrackHeaderSize;  // filled in at the end
        SetOutLimit();
        OutputStatus = 0;
        Now = 0;
        LastWritten = 0;
        // About one window event per 3 bytes of input: small files take small windows.
        WindowCapacity = static_cast<std::size_t>(
            std::clamp<std::int64_t>(Image.InputSize / 3, 256, static_cast<std::int64_t>(WindowMostEvents)));
    }

    // Reads every chunk header, then each track's first delta, in track order.
    void ReadTrackTable() {
        SmfStream::ReadTrackTable([this] {
            const int n = CurrentTrack;
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            TrackStatus[n] = 0;
        });
        Order.Clear();
        for (int n = 1; n <= NumTracks; ++n) {
            if (TrackLeft[n] == 0) continue;
            CurrentTrack = n;
            ReadPos = TrackPos[n];
            TrackRemaining = TrackLeft[n];
            const bool eventFollows = ReadDelta(DeltaAtChunkEnd::EndsTrack);
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            if (eventFollows) Order.Add(MakeKey(EventDelta, 1, n));
        }
        Order.Build();
    }

    // Takes the events in key order. With few tracks, through the heap: the top track's
    // state lives in locals while it stays on top (most events are followed by one of
    // the same track), and so does the output cursor, which each byte written through a
    // pointer could otherwise alias. A switch of tracks costs a heap step, which grows
    // with the track count; from WindowTracks tracks on, windows of events sorted at
    // once (TakeWindow) cost less, and the heap takes just the times where a window stops.
    void MergeEvents() {
        const int tracks = Order.Size();
        const bool windows = tracks >= WindowTracks;
        if (windows) {
            Window.resize(WindowCapacity);
            WindowOrder.reserve(WindowCapacity);
        }
        // A window costs a pass over the tracks besides its events: after one that took
        // fewer events than a quarter of the tracks (or none), the heap takes the next
        // steps, one per track, so that a file whose windows keep stopping early does not
        // pay a pass over the tracks for every few events.
        std::int64_t heapSteps = 0;
        while (!Order.Empty()) {
            if (windows && !KaraokeSource && heapSteps <= 0) {
                const std::size_t taken = TakeWindow();
                if (taken < static_cast<std::size_t>(tracks / 4)) heapSteps = tracks;
                if (taken > 0) continue;
            }
            TakeHeapSteps(windows, heapSteps);
        }
    }

    // The quick writer's state while the heap takes events: the output cursor, the room
    // it may use (an event takes at most 7 bytes: delta, status and data), the last
    // written event's status and time. Kept in locals from one track to the next, and
    // written back before the checked writer runs.
    struct OutputCursor {
        std::uint8_t* out;
        std::uint8_t* start;
        std::uint8_t* end;
        std::uint64_t lastWritten;
        std::uint8_t status;

        void Advance(std::uint8_t* to, std::uint64_t written, std::uint8_t lastStatus) noexcept {
            out = to;
            lastWritten = written;
            status = lastStatus;
        }
    };
    OutputCursor OpenCursor() const noexcept {
        std::uint8_t* const start = OutData + (OutPos + 1 - OutFirst);
        return {start, start, OutData + (OutLimit - OutFirst + 1) - 7, LastWritten, OutputStatus};
    }
    void CloseCursor(const OutputCursor& cursor) noexcept {
        OutPos += cursor.out - cursor.start;
        LastWritten = cursor.lastWritten;
        OutputStatus = cursor.status;
    }

    // Takes the top track's events through the heap: while there are events, and with
    // windows for heapSteps steps or until the time of the first one's key is over.
    void TakeHeapSteps(bool windows, std::int64_t& heapSteps) {
        const std::uint64_t time = Order.TopTime();
        OutputCursor cursor = OpenCursor();
        do {
            --heapSteps;
            const std::uint64_t now = Order.TopTime();
            const std::uint64_t order = Order.TopOrder();
            const int n = OrderTrack(order);
            if (OrderIsFault(order)) {
                CloseCursor(cursor);
                RaiseDeltaFault(n);
            }
            if (!TakeRun(n, now, order, cursor)) {
                // The event needs the checked reader or writer: taken alone.
                CloseCursor(cursor);
                Now = now;
                TakeEvent(n);
                ScheduleNext(n, now, order);
                cursor = OpenCursor();
            }
        } while (!Order.Empty() && (!windows || heapSteps > 0 || Order.TopTime() == time));
        CloseCursor(cursor);
    }

    // Takes the events of every track from the top key's time up to a window's end at
    // once: reads them ahead track by track, sorts them into key order and writes them.
    // An event the window does not take as it stands (a track's last event, a text of
    // track 2, where the karaoke marker may be, anything malformed, a delta that cannot
    // be read) ends the window before its time, and so does a full window; the heap then
    // takes the events at that time. Returns the number of events taken: 0, having
    // changed nothing, when the window would be empty.
    std::size_t TakeWindow() {
        const EventKey top = Order.TopKey();
        if (KeyIsFault(top)) return 0;
        const std::uint64_t start = KeyTime(top);
        std::uint64_t span = WindowSpan;  // the window ends at start + span
        bool full = false;
        for (int n = 1; n <= NumTracks; ++n) Ahead[static_cast<std::size_t>(n)].state = TrackAhead::Idle;
        for (int i = 0; i < Order.Size(); ++i) {
            TrackAhead& ahead = Ahead[static_cast<std::size_t>(Order.TrackAt(i))];
            ahead.state = TrackAhead::Waiting;
            ahead.key = Order.KeyAt(i);
        }
        WindowCount = 0;
        for (int n = 1; n <= NumTracks; ++n) {
            TrackAhead& ahead = Ahead[static_cast<std::size_t>(n)];
            if (ahead.state == TrackAhead::Idle || KeyTime(ahead.key) - start >= span) continue;
            if (KeyIsFault(ahead.key)) {
                span = KeyTime(ahead.key) - start;
                continue;
            }
            ReadAhead(n, ahead, start, span, full);
        }
        if (span == 0) {
            WindowSpan = std::max<std::uint64_t>(1, WindowSpan / 2);
            return 0;
        }
        // Tracks read past the window's end resume at their first event from there on.
        const std::uint64_t limit = WindowOrderOf(span, 0);
        for (int n = 1; n <= NumTracks; ++n) {
            TrackAhead& ahead = Ahead[static_cast<std::size_t>(n)];
            if (ahead.state == TrackAhead::Idle || ahead.state == TrackAhead::Waiting) continue;
            std::uint32_t i = ahead.last;
            while (i > ahead.first && Window[i - 1].order >= limit) --i;
            if (i == ahead.last) continue;
            const WindowEvent& e = Window[i];
            ahead.at = e.body - (e.statusByte ? 1 : 0);
            ahead.running = e.runningBefore;
            ahead.state = TrackAhead::Read;
            ahead.key = MakeKey(start + WindowTimeOf(e.order), e.order & WindowMostRounds, n);
        }
        SortWindow(Window.data(), WindowCount, span, WindowOrder, WindowBuckets);
        WriteWindow(start);
        Order.Clear();
        for (int n = 1; n <= NumTracks; ++n) {
            const TrackAhead& ahead = Ahead[static_cast<std::size_t>(n)];
            if (ahead.state == TrackAhead::Idle) continue;
            if (ahead.state != TrackAhead::Waiting) {
                const Position chunkEnd = TrackPos[n] + TrackLeft[n];
                TrackPos[n] = ahead.at - In;
                TrackLeft[n] = chunkEnd - TrackPos[n];
                TrackStatus[n] = ahead.running;
            }
            if (ahead.state != TrackAhead::Ended) Order.Add(ahead.key);
        }
        Order.Build();
        // A full window halves the width; one not stopped early and less than half full
        // doubles it.
        if (full)
            WindowSpan = std::max<std::uint64_t>(1, span / 2);
        else if (span == WindowSpan && WindowOrder.size() < WindowCapacity / 2)
            WindowSpan = std::min(WindowSpan * 2, WindowWidestSpan);
        return WindowOrder.size();
    }

    // Reads the events of track n into the window from its key on while their times are
    // below start + span, and leaves in ahead the track's state after them. An event the
    // window does not take shortens span to end at its time; so does the event that
    // finds the window full.
    void ReadAhead(int n, TrackAhead& ahead, std::uint64_t start, std::uint64_t& span, bool& full) {
        const std::uint8_t* at = In + TrackPos[n];  // the next event's first byte
        const std::uint8_t* const chunkEnd = at + TrackLeft[n];
        std::uint8_t running = TrackStatus[n];
        std::uint64_t time = KeyTime(ahead.key) - start;
        std::uint64_t round = KeyRound(ahead.key);
        std::uint64_t end = span;
        ahead.first = static_cast<std::uint32_t>(WindowCount);
        ahead.state = TrackAhead::Read;
        WindowEvent* w = Window.data() + WindowCount;
        WindowEvent* const wEnd = Window.data() + WindowCapacity;
        while (time < end) {
            if (round > WindowMostRounds) {
                end = time;
                break;
            }
            if (w == wEnd) {
                end = time;
                full = true;
                break;
            }
            std::uint8_t status = *at;
            const std::uint8_t* body = at + 1;
            if (status < 0x80) {
                status = running;
                body = at;
            }
            std::uint32_t length;
            bool written = true;
            if (static_cast<std::uint8_t>(status - 0x80) < 0x70) {
                length = (status & 0xE0) == 0xC0 ? 1 : 2;
            } else if (!MeasureWindowSystemEvent(n, status, body, chunkEnd, length, written)) {
                // A data byte with no running status among them.
                end = time;
                break;
            }
            // The track's last event is left out, and an event that runs past the chunk
            // refused: both by the checked path.
            if (chunkEnd - body <= static_cast<std::int64_t>(length)) {
                end = time;
                break;
            }
            w->body = body;
            w->order = WindowOrderOf(time, round);
            w->length = length;
            w->status = status;
            w->runningBefore = running;
            w->statusByte = body != at;
            w->written = written;
            ++w;
            if (status < SysexStatus) running = status;
            at = body + length;
            // The next delta: one byte, the common case, here.
            std::uint32_t delta = *at;
            const std::uint8_t* next = at + 1;
            if (delta >= 0x80 && !ReadQuantityRest(next, chunkEnd, delta)) {
                // Refused by the checked path, in its turn after this event.
                end = time;
                break;
            }
            if (next == chunkEnd) {
                // A delta that ends the chunk ends the track.
                at = chunkEnd;
                ahead.state = TrackAhead::Ended;
                break;
            }
            at = next;
            if (delta == 0) {
                ++round;
            } else {
                round = 1;
                time += delta;
            }
        }
        span = end;
        ahead.at = at;
        ahead.running = running;
        ahead.key = MakeKey(start + time, round, n);
        WindowCount = static_cast<std::size_t>(w - Window.data());
        ahead.last = static_cast<std::uint32_t>(WindowCount);
    }

    // Writes the window's events in their order, each with its delta from the last
    // written event and its status byte unless the last written one had the same. An
    // event without room in the output window goes through the checked writer.
    void WriteWindow(std::uint64_t start) {
        std::uint64_t lastWritten = LastWritten;
        std::uint8_t outputStatus = OutputStatus;
        std::uint8_t* outStart = OutData + (OutPos + 1 - OutFirst);
        std::uint8_t* out = outStart;
        std::uint8_t* outEnd = OutData + (OutLimit - OutFirst + 1);
        const WindowEvent* const events = Window.data();
        for (const std::uint16_t i : WindowOrder) {
            const WindowEvent& e = events[i];
            if (!e.written) continue;
            const std::uint64_t time = start + WindowTimeOf(e.order);
            const std::uint64_t carried = time - lastWritten;
            if (carried > LongestDelta) GapTooLong(carried);
            // A delta of up to 4 bytes, a status byte and at least two bytes written.
            if (outEnd - out < static_cast<std::int64_t>(e.length) + 6) {
                OutPos += out - outStart;
                LastWritten = lastWritten;
                OutputStatus = outputStatus;
                Now = time;
                Status = e.status;
                EventKind = e.status >> 4;
                EventLength = e.length;
                ReadPos = (e.body - In) + e.length;
                WriteEvent(false);
                lastWritten = LastWritten;
                outputStatus = OutputStatus;
                outStart = OutData + (OutPos + 1 - OutFirst);
                out = outStart;
                outEnd = OutData + (OutLimit - OutFirst + 1);
                continue;
            }
            // Read before writing: a byte written through out could alias the event.
            const std::uint8_t* const body = e.body;
            const std::uint32_t length = e.length;
            const std::uint8_t status = e.status;
            const std::uint8_t first = body[0];
            const std::uint8_t second = body[length - 1];
            out = PutVarLen(out, static_cast<std::uint32_t>(carried));
            if (status != outputStatus || status >= SysexStatus || first >= 0x80) *out++ = status;
            outputStatus = status;
            if (length <= 2) {
                out[0] = first;
                out[1] = second;
            } else {
                std::memcpy(out, body, length);
            }
            out += length;
            lastWritten = time;
        }
        OutPos += out - outStart;
        LastWritten = lastWritten;
        OutputStatus = outputStatus;
        Now = start + WindowTimeOf(events[WindowOrder.back()].order);
    }

    // Takes the events of the top track n, the first at time now with order `order`,
    // while they are channel events with their data in the chunk, room in the output
    // window and a one-byte delta before each next one that keeps the track on top.
    // Returns false, having changed nothing, when the first event is not such an event;
    // otherwise the track's next key is in the order and the cursor is past the run.
    bool TakeRun(int n, std::uint64_t now, std::uint64_t order, OutputCursor& cursor) {
        // A channel event of track 2 after the karaoke marker is left out: not here.
        if (KaraokeSource && n == 2) return false;
        // The first key of another track, as time and order.
        const EventKey second = Order.SecondKey();
        const std::uint64_t secondTime = KeyTime(second);
        const auto secondOrder = static_cast<std::uint64_t>(second);
        const std::uint64_t firstRound = FirstRoundOrder(n);

        const std::uint8_t* const in = In;
        const std::uint8_t* at = in + TrackPos[n];  // the event's first byte
        const std::uint8_t* const chunkEnd = at + TrackLeft[n];
        // Up to here a status byte and two data bytes lie in the chunk.
        const std::uint8_t* const wholeEnd = chunkEnd - 3;
        std::uint8_t running = TrackStatus[n];
        std::uint8_t outputStatus = cursor.status;
        std::uint64_t lastWritten = cursor.lastWritten;
        std::uint8_t* out = cursor.out;
        std::uint8_t* const outEnd = cursor.end;
        bool first = true;
        bool eventPending = false;  // the run stopped before an event whose delta it read
        for (;;) {
            std::uint8_t status = *at;
            const std::uint8_t* data = at + 1;
            if (status < 0x80) {
                status = running;
                data = at;
            }
            const std::uint64_t carried = now - lastWritten;
            // A channel status (0x80 to 0xEF), its data in the chunk, a delta that fits
            // and room to write.
            if (static_cast<std::uint8_t>(status - 0x80) >= 0x70 || at > wholeEnd || carried > LongestDelta ||
                out > outEnd) {
                if (first) return false;
                eventPending = true;  // the checked path takes it, in its turn
                break;
            }
            first = false;
            const int length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure: 1
            running = status;
            at = data + length;
            // A track's last event is left out.
            if (at != chunkEnd) {
                out = PutVarLen(out, static_cast<std::uint32_t>(carried));
                if (status != outputStatus || data[0] >= 0x80) *out++ = status;
                outputStatus = status;
                out[0] = data[0];
                out[1] = data[length - 1];  // for a 1-byte event a byte the next write covers
                out += length;
                lastWritten = now;
                CopyVerbatim(at, out, now, order, running, second, firstRound, chunkEnd, outEnd);
                outputStatus = running;
                lastWritten = now;
            }
            // The next delta: one byte, the common case, here, with an event after it in
            // the chunk; longer ones and the end of the track by ScheduleNext. The track
            // stays on top while its next key is below every other track's.
            if (at >= wholeEnd + 2 || *at >= 0x80) break;
            const std::uint32_t delta = *at;
            const std::uint64_t nextTime = now + delta;
            const std::uint64_t nextOrder = delta == 0 ? NextRoundOrder(order) : firstRound;
            ++at;
            if (nextTime > secondTime || (nextTime == secondTime && nextOrder > secondOrder)) {
                // Another track's turn: this one waits with its next key.
                Now = now;
                LeaveTrack(n, at, chunkEnd, running);
                cursor.Advance(out, lastWritten, outputStatus);
                Order.ReplaceTop(nextTime, nextOrder);
                return true;
            }
            now = nextTime;
            order = nextOrder;
        }
        Now = now;
        LeaveTrack(n, at, chunkEnd, running);
        cursor.Advance(out, lastWritten, outputStatus);
        if (eventPending)
            Order.ReplaceTop(now, order);
        else
            ScheduleNext(n, now, order);
        return true;
    }

    // Track n's next event is at `at`, with this running status.
    void LeaveTrack(int n, const std::uint8_t* at, const std::uint8_t* chunkEnd, std::uint8_t running) noexcept {
        TrackPos[n] = at - In;
        TrackLeft[n] = chunkEnd - at;
        TrackStatus[n] = running;
    }

    // After a written event of the top track, copies its following events as they stand
    // while the output would hold the same bytes: one-byte deltas (the time since the
    // event before, as written), channel events in running status or with a status byte
    // other than the last one (so that the output writes that byte too), not the
    // track's last event, each with a key below second, the first key of another track.
    // Finding where such a run ends is all the work per event; the run is then copied
    // at once. at (on the next delta), out, now, order and running move past the run.
    static void CopyVerbatim(const std::uint8_t*& at, std::uint8_t*& out, std::uint64_t& now, std::uint64_t& order,
                             std::uint8_t& running, EventKey second, std::uint64_t firstRound,
                             const std::uint8_t* chunkEnd, const std::uint8_t* outEnd) noexcept {
        const std::uint64_t secondTime = KeyTime(second);
        const auto secondOrder = static_cast<std::uint64_t>(second);
        const std::uint8_t* const start = at;
        // An event starting at or before scanEnd lies in the chunk with a byte after it
        // (so it is not the last) and fits the output's room (outEnd leaves 7 bytes).
        const std::uint8_t* scanEnd = chunkEnd - 5;
        if (outEnd - out + 3 < scanEnd - at) scanEnd = at + (outEnd - out + 3);
        std::uint64_t time = now;
        std::uint64_t round = order;
        std::uint8_t status = running;
        while (at <= scanEnd) {
            const std::uint8_t delta = at[0];
            if (delta >= 0x80) break;
            const std::uint64_t nextTime = time + delta;
            const std::uint64_t nextOrder = delta == 0 ? NextRoundOrder(round) : firstRound;
            if (nextTime > secondTime || (nextTime == secondTime && nextOrder > secondOrder)) break;
            const std::uint8_t* p = at + 1;
            std::uint8_t next = status;
            if (*p >= 0x80) {
                next = *p;
                if (next >= SysexStatus || next == status) break;
                ++p;
            }
            p += (next & 0xE0) == 0xC0 ? 1 : 2;
            if (p >= chunkEnd) break;
            at = p;
            time = nextTime;
            round = nextOrder;
            status = next;
        }
        const auto copied = static_cast<std::size_t>(at - start);
        if (copied == 0) return;
        CopyShort(out, start, copied);
        out += copied;
        now = time;
        order = round;
        running = status;
    }

    // Copies count bytes (at least 1) between ranges that do not overlap: short runs, the
    // usual ones, inline as their first and last words rather than by a call.
    static void CopyShort(std::uint8_t* to, const std::uint8_t* from, std::size_t count) noexcept {
        if (count > 16) {
            std::memcpy(to, from, count);
        } else if (count >= 8) {
            CopyEnds<std::uint64_t>(to, from, count);
        } else if (count >= 4) {
            CopyEnds<std::uint32_t>(to, from, count);
        } else {
            to[0] = from[0];
            to[count / 2] = from[count / 2];
            to[count - 1] = from[count - 1];
        }
    }
    // Copies count bytes, one to two words of them, as the first and the last word.
    template <typename Word>
    static void CopyEnds(std::uint8_t* to, const std::uint8_t* from, std::size_t count) noexcept {
        Word head;
        Word tail;
        std::memcpy(&head, from, sizeof head);
        std::memcpy(&tail, from + count - sizeof tail, sizeof tail);
        std::memcpy(to, &head, sizeof head);
        std::memcpy(to + count - sizeof tail, &tail, sizeof tail);
    }

    // Reads the next delta of track n (the top track), whose event at time with order
    // taken was just taken, and gives the track its next key; the track leaves the order when the
    // delta ends the chunk (or the event ended it). A delta that cannot be read is read
    // here without throwing and gets a fault key: RaiseDeltaFault reads it again to say
    // why, in its turn.
    void ScheduleNext(int n, std::uint64_t time, std::uint64_t taken) {
        std::int64_t left = TrackLeft[n];
        if (left == 0) return Order.RemoveTop();
        const Position at = TrackPos[n];
        std::uint32_t delta = In[at];
        std::int64_t used = 1;
        if (delta >= 0x80) {
            delta &= 0x7F;
            for (;;) {
                if (used == 4 || left - used <= 0 || at + used >= Image.InputSize)
                    return Order.ReplaceTop(time, FaultOrder(taken));
                const std::uint8_t b = In[at + used];
                ++used;
                delta = (delta << 7) | (b & 0x7Fu);
                if (b < 0x80) break;
            }
        }
        left -= used;
        TrackLeft[n] = left;
        TrackPos[n] = at + used;
        // A delta that ends the chunk leaves the track without an event: it is done.
        if (left == 0) return Order.RemoveTop();
        if (delta == 0)
            Order.ReplaceTop(time, NextRoundOrder(taken));
        else
            Order.ReplaceTop(time + delta, FirstRoundOrder(n));
    }

    // The delta of track n could not be read: reads it again the checked way, which
    // throws the reason.
    [[noreturn]] void RaiseDeltaFault(int n) {
        CurrentTrack = n;
        ReadPos = TrackPos[n];
        TrackRemaining = TrackLeft[n];
        ReadDelta(DeltaAtChunkEnd::EndsTrack);
        // The checked read finds what the quick one found; should it not, the file is
        // still refused rather than merged wrongly.
        Malformed("a variable-length number in " + TrackName() + " cannot be read");
    }

    // Takes any event of track n with the checked reader.
    void TakeEvent(int n) {
        CurrentTrack = n;
        ReadPos = TrackPos[n];
        TrackRemaining = TrackLeft[n];
        RunningStatus = TrackStatus[n];
        ReadEventBody();
        TrackStatus[n] = RunningStatus;
        TrackLeft[n] = TrackRemaining;
        TrackPos[n] = ReadPos;

        const bool leftOut = MergeLeavesOut(n, KaraokeSource);
        bool lineBreak = false;
        if (Status == MetaStatus) {
            if (KaraokeSource && n == 3) {
                if (!RewriteAtText() && MetaType == MetaText) In[ReadPos - EventLength] = MetaLyric;
                if (DataLength > 0) {
                    const std::uint8_t first = In[DataStart - 1];
                    lineBreak = first == '\\' || first == '/';
                }
            }
        }
        if (leftOut) return;
        WriteEvent(lineBreak);
    }

    // An '@' text of track 3 stays a text event, shown as "* " in place of its first
    // two bytes. A text of one byte has no second byte to change and is left alone.
    bool RewriteAtText() {
        if (MetaType != MetaText || DataLength < 2 || In[DataStart - 1] != '@') return false;
        In[DataStart - 1] = '*';
        In[DataStart] = ' ';
        return true;
    }

    // Writes the event just read (Status, EventLength, ReadPos on its last byte) with the
    // checked writer, growing the output as it needs.
    void WriteEvent(bool lineBreak) {
        // The time since the last written event must fit a 4-byte delta.
        const std::uint64_t carried = Now - LastWritten;
        if (carried > LongestDelta) GapTooLong(carried);
        const auto delta = static_cast<std::int32_t>(carried);
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + 1 + EventLength +
                                    (lineBreak ? 4 : 0);
        if (needed > Image.OutputSize) GrowOutput(needed);
        if (lineBreak) {
            static constexpr std::uint8_t breakEvent[5] = {0x00, MetaStatus, MetaLyric, 0x01, '\r'};
            for (std::uint8_t b : breakEvent) Put(++OutPos, b);
        }
        WriteVarLen(delta);
        LastWritten = Now;
        if (NeedsStatusByte(OutputStatus)) Put(++OutPos, Status);
        OutputStatus = Status;
        if (lineBreak) {
            // A lyric without the leading '\' or '/'.
            Put(++OutPos, MetaLyric);
            WriteVarLen(DataLength - 1);
            CopyToOutput(DataStart + 1, OutPos + 1, DataLength - 1);
            OutPos += DataLength - 1;
        } else {
            CopyToOutput(ReadPos - EventLength + 1, OutPos + 1, EventLength);
            OutPos += EventLength;
        }
        if (OutPos + 1 > OutFirst + static_cast<Position>(OutSpan)) MoveOutputWindow(OutPos + 1);
        SetOutLimit();
    }

    void GrowOutput(std::int64_t needed) {
        Image.GrowOutput(needed);
        MoveOutputWindow(OutPos + 1);
        SetOutLimit();
    }

    // The last output position the quick writer may use: the end of the window and of
    // the output's room.
    void SetOutLimit() noexcept {
        OutLimit = std::min(OutFirst + static_cast<Position>(OutSpan) - 1, Image.OutputBase + Image.OutputSize);
    }

    // Closes the track with one end-of-track event. Its delta is the time carried since
    // the last written event, so the merged track lasts as long as the input's longest
    // track: events left out at the end (each track's own end-of-track event among them)
    // still take their time.
    void Finish() {
        const std::uint64_t carried = Now - LastWritten;
        if (carried > LongestDelta) GapTooLong(carried);
        const auto delta = static_cast<std::int32_t>(carried);
        const std::int64_t needed = OutPos - Image.OutputBase + VarLenSize(delta) + EndOfTrackSize - 1;
        if (needed > Image.OutputSize) Image.GrowOutput(needed);
        WriteVarLen(delta);
        for (std::uint8_t b : {MetaStatus, MetaEndOfTrack, std::uint8_t{0x00}}) Put(++OutPos, b);
        Image.OutputSize = OutPos - Image.OutputBase;
        OutPos = Image.OutputBase + HeaderChunkSize;
        WriteTrackHeader(Image.OutputSize - HeaderChunkSize - TrackHeaderSize);
    }

    // Per track (1 to NumTracks): the bytes left in its chunk, the position of the last
    // byte read and its running status.
    std::array<std::int64_t, MergeMaxTracks + 1> TrackLeft{};
    std::array<Position, MergeMaxTracks + 1> TrackPos{};
    std::array<std::uint8_t, MergeMaxTracks + 1> TrackStatus{};
    TrackHeap Order;
    std::array<TrackAhead, MergeMaxTracks + 1> Ahead{};
    std::vector<WindowEvent> Window;         // WindowCount events in track order
    std::vector<std::uint16_t> WindowOrder;  // their indices in key order
    std::size_t WindowCount = 0;
    std::vector<std::uint32_t> WindowBuckets;
    std::size_t WindowCapacity = 0;
    std::uint64_t WindowSpan = WindowFirstSpan;
    std::uint64_t Now = 0;          // the time of the event taken last
    std::uint64_t LastWritten = 0;  // the time of the event written last
    Position OutLimit = 0;
    std::uint8_t OutputStatus = 0;
    bool KaraokeSource = false;
};

}  // namespace

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName, FileOps& ops) {
    Merge merge(ops);
    return merge.Run(inName, outName);
}

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    return ConvertToType0(inName, outName, SystemFileOps());
}

}  // namespace quorvel::engine
