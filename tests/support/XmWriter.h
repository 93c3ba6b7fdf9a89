// Writes XM files in memory: head and header, then (version 0x0104) the patterns and each
// instrument with its sample headers and delta-coded data; older versions put every instrument's
// headers first, then the patterns, then all sample data.
//
//   XmWriter xm;                                        // 4 channels, one empty 64-row pattern
//   xm.instruments.push_back(XmInstrumentSpec::single("lead", {{.frames = {0, 10, 20}}}));
//   xm.patterns[0].cells.push_back({.row = 0, .channel = 1, .note = 49, .instrument = 1});
//   std::vector<uint8_t> file = xm.bytes();
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

struct XmSampleSpec {
    std::string name;
    std::vector<int16_t> frames;  // the values to hear: 8-bit samples write each as an int8_t
    bool sixteenBit = false;
    uint8_t loop = 0;         // type bits 0-1: 1 forward, 2 ping-pong
    uint8_t extraType = 0;    // more type bits (32: stereo)
    uint32_t loopStart = 0;   // bytes, as stored
    uint32_t loopLength = 0;  // bytes, as stored
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::optional<uint32_t> lengthBytes;         // the header's length; default the data written
    uint8_t reserved = 0;                        // the byte after the relative note
    std::optional<std::vector<uint8_t>> stored;  // bytes written as the data instead of the frames
};

struct XmEnvelopeSpec {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value), up to 12 written
    std::optional<uint8_t> count;                       // default points.size()
    uint8_t sustain = 0, loopStart = 0, loopEnd = 0;
    uint8_t type = 0;  // bit 0 on, 1 sustain, 2 loop
};

struct XmInstrumentSpec {
    std::string name;
    std::array<uint8_t, 96> map{};
    XmEnvelopeSpec volume, panning;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
    std::vector<XmSampleSpec> samples;
    std::optional<uint32_t> headerSize;  // default 243 with samples, 29 without
    uint32_t sampleHeaderSize = 40;      // the stride written, and the declared value
    std::optional<uint16_t> sampleCount;

    static XmInstrumentSpec single(std::string name, std::vector<XmSampleSpec> samples);
};

struct XmCell {
    uint32_t row = 0;
    uint32_t channel = 0;
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct XmPatternSpec {
    uint16_t rows = 64;
    std::vector<XmCell> cells;  // any order; absent cells are empty
    bool packed = true;         // false: five bytes for every cell
    uint32_t headerLength = 9;  // declared and written (8 in version 0x0102)
    // The header's data size; default the data written. A smaller one cuts the data written.
    std::optional<uint16_t> packedSize;
};

class XmWriter {
   public:
    std::string title = "xm test";
    std::string trackerName = "FastTracker v2.00";
    uint16_t version = 0x0104;
    std::optional<uint32_t> headerSize;  // default 20 + 256
    uint16_t restart = 0;
    uint16_t channels = 4;
    uint16_t flags = 1;  // bit 0: linear frequencies
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders = {0};
    std::optional<uint16_t> songLength, patternCount, instrumentCount;  // header counts if forced
    std::vector<XmPatternSpec> patterns = {{}};
    std::vector<XmInstrumentSpec> instruments;

    std::vector<uint8_t> bytes() const;
    // The packed (or plain) data of one pattern for the given channel count.
    static std::vector<uint8_t> pack(const XmPatternSpec& pattern, uint16_t channels);
};

}  // namespace tarvex::test
