// Writes IT files in memory: the header with its orders and offset tables, the MIDI
// configuration when macros are given, the message, then the instruments, the sample headers, the
// patterns and the sample data, each at the offset its table names.
//
//   ItWriter it;                                   // one empty 64-row pattern, no samples
//   it.samples.push_back({.name = "tone", .frames = {0, 10, 20}});
//   it.patterns[0].cells.push_back({.row = 0, .channel = 2, .note = 60, .instrument = 1});
//   std::vector<uint8_t> file = it.bytes();
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvex::test {

struct ItSample {
    std::string name{};
    std::vector<int16_t> frames{};  // the values to hear: 8-bit samples write each as an int8_t
    std::vector<int16_t> right{};   // with stereo: the right half
    bool sixteenBit = false;
    bool stereo = false;
    bool hasData = true;    // flag bit 0
    uint8_t loopFlags = 0;  // flag bits 4-7: loop, sustain loop, ping-pong, sustain ping-pong
    uint32_t loopStart = 0, loopEnd = 0, sustainStart = 0, sustainEnd = 0;
    uint8_t volume = 64, globalVolume = 64;
    uint8_t panning = 32;  // DfP: bit 7 uses it
    uint8_t convert = 1;   // bit 0: signed data (written as such, or unsigned when clear)
    uint32_t c5Speed = 8363;
    std::array<uint8_t, 4> vibrato{};              // speed, depth, rate, waveform
    std::optional<uint32_t> length{};              // the header's length; default frames.size()
    std::optional<std::vector<uint8_t>> stored{};  // bytes written as the data instead of the frames
    uint8_t extraFlags = 0;                        // more flag bits (8: packed, with stored)
};

struct ItEnvelope {
    std::vector<std::pair<uint16_t, int8_t>> points{};  // (tick, value), up to 25 written
    std::optional<uint8_t> count{};                     // default points.size()
    uint8_t flags = 0;  // bit 0 on, 1 loop, 2 sustain loop (old instruments: the same bits)
    uint8_t loopStart = 0, loopEnd = 0, sustainStart = 0, sustainEnd = 0;
};

struct ItInstrument {
    std::string name;
    // Per key (note, sample); default the key's own note and no sample.
    std::array<std::pair<uint8_t, uint8_t>, 120> keyboard = defaultKeyboard();
    uint8_t newNoteAction = 0, duplicateCheck = 0, duplicateAction = 0;
    uint16_t fadeout = 0;
    int8_t pitchPanSeparation = 0;
    uint8_t pitchPanCentre = 60, globalVolume = 128;
    uint8_t defaultPan = 128 | 32;  // DfP: bit 7 set = not used
    uint8_t randomVolume = 0, randomPanning = 0;
    uint8_t cutoff = 0, resonance = 0;  // bit 7: used
    ItEnvelope volume, panning, pitch;
    // The format before IT 2.00 (the writer's cmwt decides which the reader expects): only the
    // volume envelope (its flags, loops and points), NNA and the duplicate note check are written.
    bool old = false;
    uint8_t duplicateNoteCheck = 0;  // old format: 1 = on

    static std::array<std::pair<uint8_t, uint8_t>, 120> defaultKeyboard();
};

struct ItCell {
    uint32_t row = 0;
    uint32_t channel = 0;
    std::optional<uint8_t> note{}, instrument{}, volume{};
    uint8_t effect = 0, param = 0;  // written when effect or param is not 0
};

struct ItPattern {
    uint16_t rows = 64;
    std::vector<ItCell> cells;                   // any order; each written with a fresh mask
    std::optional<std::vector<uint8_t>> packed;  // the data written instead of the cells
    std::optional<uint16_t> length;              // the header's data length; default the data written
    bool absent = false;                         // offset 0 in the table
};

class ItWriter {
   public:
    std::string title = "it test";
    uint16_t cwt = 0x0214, cmwt = 0x0214;
    uint16_t flags = 1 | 8;  // stereo, linear slides
    uint16_t special = 0;    // bit 0 (message) and bit 3 (MIDI) follow message and macros
    uint8_t globalVolume = 128, mixVolume = 48, speed = 6, tempo = 125, separation = 128;
    std::array<uint8_t, 64> channelPanning = filled(32);
    std::array<uint8_t, 64> channelVolume = filled(64);
    std::vector<uint8_t> orders = {0, 255};
    std::vector<ItPattern> patterns = {{}};
    std::vector<ItSample> samples;
    std::vector<ItInstrument> instruments;   // written when flags bit 2 is set or any is given
    std::string message;                     // CR-separated lines
    std::optional<uint16_t> historyEntries;  // special bit 1: this many 8-byte entries
    // The MIDI configuration's SFx and Zxx macros (special bit 3 when given).
    std::optional<std::array<std::string, 16>> parametricMacros;
    std::optional<std::array<std::string, 128>> fixedMacros;

    std::vector<uint8_t> bytes() const;
    static std::vector<uint8_t> pack(const ItPattern& pattern);

   private:
    static std::array<uint8_t, 64> filled(uint8_t value) {
        std::array<uint8_t, 64> out;
        out.fill(value);
        return out;
    }
};

}  // namespace tarvex::test
