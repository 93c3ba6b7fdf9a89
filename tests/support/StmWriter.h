// Writes STM files in memory: header, 31 sample headers, 128 orders, 1024-byte patterns, then
// the sample data (back to back, or 16-byte aligned with parapointers as the tracker saves it).
//
//   StmWriter stm;
//   stm.orders[0] = 0; stm.orders[1] = 99;
//   stm.setCell(0, 0, 0, {0x20, 0x08, 0x1A, 0x10});   // C-2, sample 1, volume 8, J10
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

struct StmSampleSpec {
    std::string name;
    std::vector<int8_t> data;
    std::optional<uint16_t> length;  // header length; default data.size()
    uint16_t loopStart = 0;
    uint16_t loopEnd = 0xFFFF;
    uint8_t volume = 64;
    uint16_t sampleRate = 8363;
};

class StmWriter {
   public:
    StmWriter();

    std::string title = "stm test";
    std::string tag = "!Scream!";
    uint8_t type = 2;
    uint8_t major = 2;
    uint8_t minor = 21;
    uint8_t tempo = 0x60;
    std::optional<uint8_t> patternCountByte;  // default patterns.size()
    uint8_t globalVolume = 64;
    std::array<StmSampleSpec, 31> samples;
    std::array<uint8_t, 128> orders{};  // all 99 (end) by default
    std::vector<std::array<uint8_t, 1024>> patterns = {{}};
    bool alignSamples = false;  // 16-byte aligned data with parapointers in the headers

    void setCell(uint32_t pattern, uint32_t row, uint32_t channel, std::array<uint8_t, 4> cell);
    std::vector<uint8_t> bytes() const;
};

}  // namespace tarvex::test
