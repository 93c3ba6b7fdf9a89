// Writes MOD files byte by byte in memory, so a test states exactly the layout it needs.
//
//   ModWriter mod = ModWriter::withSignature("M.K.");
//   mod.samples[0].data = std::vector<int8_t>(200, 5);
//   mod.setCell(0, 0, 0, 1, 428, 0xF, 6);   // pattern 0, row 0, channel 0: sample 1, period 428, F06
//   std::vector<uint8_t> file = mod.bytes();
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

struct ModSampleSpec {
    std::string name;
    std::vector<int8_t> data;             // written after the patterns
    std::optional<uint16_t> lengthWords;  // header length; default data.size() / 2
    uint8_t finetune = 0;                 // the raw byte
    uint8_t volume = 64;
    uint16_t loopStartWords = 0;
    uint16_t loopLengthWords = 1;
};

class ModWriter {
   public:
    // A 31-sample file; signature is written as given (4 bytes, zero-padded) at offset 1080.
    static ModWriter withSignature(const std::string& signature, uint32_t channels = 4);
    // A 15-sample file: no signature, pattern data from offset 600.
    static ModWriter fifteenSamples();

    std::string title = "test song";
    std::vector<ModSampleSpec> samples;  // 31 or 15
    uint8_t songLength = 1;
    uint8_t restart = 0x7F;
    std::array<uint8_t, 128> orders{};
    uint32_t patternCount = 1;
    uint32_t channels = 4;                // pattern width in the file (FLT8 and WOW files use 8)
    std::string signature;                // empty for 15-sample files
    std::vector<uint8_t> afterSignature;  // bytes between signature and patterns ("FA0x": 00 40 00 00)

    // Stores the four cell bytes (byte 0 first) at (pattern, row, channel), FLT8 split aware.
    void setRawCell(uint32_t pattern, uint32_t row, uint32_t channel, std::array<uint8_t, 4> cell);
    // A 31-sample cell: sample 0..255 (high nibble in byte 0), 12-bit period, effect, param.
    void setCell(uint32_t pattern, uint32_t row, uint32_t channel, uint8_t sample, uint16_t period,
                 uint8_t effect, uint8_t param);

    std::vector<uint8_t> bytes() const;
    // Bytes of header, patterns and samples as the reader's size check counts them.
    size_t expectedSize() const;

   private:
    std::map<uint32_t, std::vector<uint8_t>> patterns_;
};

// A MOD of three songs in one order list, titled "three songs": positions 0 and 1 each end on
// F00 (8 and 16 rows), so nothing plays on from them into the next; position 2 plays its 64 rows.
// A note every fourth row on a looped saw, so that every frame of every song sounds.
std::vector<uint8_t> threeSongMod();

}  // namespace tarvex::test
