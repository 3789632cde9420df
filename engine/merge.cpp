#include "merge.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "errors.hpp"
#include "karaoke.hpp"
#include "smf_stream.hpp"

namespace quorvel::engine {
namespace {

constexpr int MaxTracks = 256;
constexpr std::int32_t LongestStep = 0xFFFFFF;

// One merge: walks all tracks side by side in sweeps, each sweep advancing time to
// the next moment some track has an event and taking one event from every track due
// then, in track order. The output grows behind the input a page at a time.
class Merge : public SmfStream {
public:
    using SmfStream::SmfStream;

    int Run(const std::filesystem::path& inName, const std::filesystem::path& outName) {
        KaraokeSource = false;
        if (Image.OpenFiles(inName, outName) != 0) return 1;
        Image.LoadInput();
        ReadPos = 1;
        CheckHeader();
        if (Format != 1) return 2;
        if (NumTracks > MaxTracks) return 3;
        try {
            OpenOutputArea();
            ReadTrackTable();
            do Sweep();
            while (AnyTrackLive());
        } catch (const InputOverrun&) {
            Malformed("an event runs past the end of " + TrackName());
        }
        Finish();
        Image.SaveOutput();
        return 0;
    }

private:
    void OpenOutputArea() {
        Image.OutputSize = FileImage::PageSize;
        Image.AllocateOutput(OutPos);
        Image.CopyBytes(1, OutPos + 1, 14);
        Image.PutByte(OutPos + 9, 0);
        Image.PutByte(OutPos + 10, 0);
        Image.PutByte(OutPos + 11, 0);
        Image.PutByte(OutPos + 12, 1);
        OutPos += 22;
        OutputStatus = 0;
        CarriedTime = 0;
    }

    // Reads every chunk header before the first event, each chunk found through the
    // lengths of those before it.
    void ReadTrackTable() {
        for (int n = 1; n <= NumTracks; ++n) {
            CurrentTrack = n;
            ReadTrackHeader();
            if (TrackRemaining < 0 || TrackRemaining > Image.InputSize - ReadPos)
                Malformed(TrackName() + " runs past the end of the file");
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            ReadPos += TrackRemaining;
            TrackDelta[n] = 0;
            TrackStatus[n] = 0;
        }
    }

    bool AnyTrackLive() const {
        return std::any_of(TrackLeft.begin() + 1, TrackLeft.begin() + 1 + NumTracks,
                           [](std::int32_t left) { return left != 0; });
    }

    void Sweep() {
        // Refill: read the next delta of every live track that has none pending.
        for (int n = 1; n <= NumTracks; ++n) {
            if (TrackLeft[n] == 0 || TrackDelta[n] != 0) continue;
            CurrentTrack = n;
            ReadPos = TrackPos[n];
            TrackRemaining = TrackLeft[n];
            TrackDelta[n] = ReadVarLen();
            TrackLeft[n] = TrackRemaining;
            TrackPos[n] = ReadPos;
            if (TrackRemaining <= 0) CheckTrackEnd();
        }
        // Step: the shortest wait of any live track, capped so that a long wait is
        // served over several sweeps.
        SweepStep = LongestStep;
        for (int n = 1; n <= NumTracks; ++n)
            if (TrackLeft[n] != 0) SweepStep = std::min(SweepStep, TrackDelta[n]);
        CarriedTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(CarriedTime) +
                                                static_cast<std::uint32_t>(SweepStep));
        for (int n = 1; n <= NumTracks; ++n) {
            if (TrackLeft[n] == 0) continue;
            TrackDelta[n] -= SweepStep;
            if (TrackDelta[n] == 0) HandleEvent(n);
        }
    }

    void HandleEvent(int n) {
        CurrentTrack = n;
        ReadPos = TrackPos[n];
        TrackRemaining = TrackLeft[n];
        Status = TrackStatus[n];
        const std::uint8_t statusBefore = Status;
        if (ReadStatus() == 0 && Status == 0)
            Malformed("a data byte stands where " + TrackName() + " needs a status byte");
        EventKind = Status >> 4;
        EventLength = (EventKind == 0xF) ? SystemDataLength() : ChannelDataLength();
        TrackStatus[n] = (EventKind < 0xF) ? Status : statusBefore;
        TrackLeft[n] = TrackRemaining;
        TrackPos[n] = ReadPos;
        if (TrackRemaining <= 0) {
            // The event used up the chunk: it is the track's last and is left out.
            CheckTrackEnd();
            return;
        }

        bool dropped = false;
        bool lineBreak = false;
        if (Status == 0xFF) {
            dropped = (MetaType == 0x03 && n != 1) || (MetaType == 0x21 && DataLength == 1);
            if (!KaraokeSource && n == 2) KaraokeSource = CheckKaraokeMarker();
            if (KaraokeSource && n == 3) {
                if (!RewriteAtText() && MetaType == 0x01) Image.PutByte(ReadPos - EventLength + 1, 0x05);
                if (DataLength > 0) {
                    const std::uint8_t first = Image.GetByte(DataStart);
                    lineBreak = first == '\\' || first == '/';
                }
            }
        }
        if (dropped || (KaraokeSource && n == 2)) return;
        WriteEvent(lineBreak);
    }

    bool CheckKaraokeMarker() const {
        if (MetaType != 0x01 || DataLength != static_cast<std::int32_t>(KaraokeMarker.size())) return false;
        for (std::size_t i = 0; i < KaraokeMarker.size(); ++i)
            if (Image.GetByte(DataStart + static_cast<Position>(i)) != static_cast<std::uint8_t>(KaraokeMarker[i]))
                return false;
        return true;
    }

    // An '@' text of track 3 stays a text event, shown as "* " in place of its first
    // two bytes. A text of one byte has no second byte to change and is left alone.
    bool RewriteAtText() {
        if (MetaType != 0x01 || DataLength < 2 || Image.GetByte(DataStart) != '@') return false;
        Image.PutByte(DataStart, '*');
        Image.PutByte(DataStart + 1, ' ');
        return true;
    }

    void WriteEvent(bool lineBreak) {
        const std::int32_t used = OutPos - Image.OutputBase;
        const std::int64_t needed = static_cast<std::int64_t>(used) + VarLenSize(CarriedTime) + 1 +
                                    EventLength + (lineBreak ? 4 : 0);
        if (needed > Image.OutputSize) {
            if (needed > static_cast<std::int64_t>(FileImage::SlotCount) * FileImage::PageSize)
                throw FileTooLarge();
            Image.GrowOutput(static_cast<std::int32_t>(needed));
        }
        if (lineBreak) {
            static constexpr std::uint8_t breakEvent[5] = {0x00, 0xFF, 0x05, 0x01, 0x0D};
            for (std::uint8_t b : breakEvent) Image.PutByte(++OutPos, b);
        }
        WriteVarLen(CarriedTime);
        CarriedTime = 0;
        if (Status != OutputStatus || EventKind == 0xF) Image.PutByte(++OutPos, Status);
        OutputStatus = Status;
        if (lineBreak) {
            // A lyric without the leading '\' or '/'.
            Image.PutByte(++OutPos, 0x05);
            WriteVarLen(DataLength - 1);
            Image.CopyBytes(DataStart + 1, OutPos + 1, DataLength - 1);
            OutPos += DataLength - 1;
        } else {
            Image.CopyBytes(ReadPos - EventLength + 1, OutPos + 1, EventLength);
            OutPos += EventLength;
        }
    }

    void Finish() {
        const std::int32_t used = OutPos - Image.OutputBase;
        if (used + 4 > Image.OutputSize) Image.GrowOutput(used + 4);
        static constexpr std::uint8_t endOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};
        for (std::uint8_t b : endOfTrack) Image.PutByte(++OutPos, b);
        Image.OutputSize = OutPos - Image.OutputBase;
        OutPos = Image.OutputBase + 14;
        WriteTrackHeader(Image.OutputSize - 22);
    }

    std::array<std::int32_t, MaxTracks + 1> TrackLeft{};
    std::array<std::int32_t, MaxTracks + 1> TrackDelta{};
    std::array<Position, MaxTracks + 1> TrackPos{};
    std::array<std::uint8_t, MaxTracks + 1> TrackStatus{};
    std::int32_t SweepStep = 0;
    std::int32_t CarriedTime = 0;
    std::uint8_t OutputStatus = 0;
    bool KaraokeSource = false;
};

}  // namespace

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName,
                   FileOps& ops) {
    Merge merge(ops);
    return merge.Run(inName, outName);
}

int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) {
    return ConvertToType0(inName, outName, SystemFileOps());
}

}  // namespace quorvel::engine
