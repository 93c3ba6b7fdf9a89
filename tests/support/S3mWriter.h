// Writes S3M files in memory: header, order list, parapointer tables, optional pan table, then
// instrument headers, packed patterns and sample data, each at a 16-byte boundary.
//
//   S3mWriter s3m;                                    // channels L R L R (settings 0, 8, 1, 9)
//   s3m.instruments.push_back({.name = "bass", .data = std::vector<uint8_t>(100, 0x80)});
//   s3m.patterns.push_back({S3mEntry::withNote(0, 0, 0x40, 1), S3mEntry::command(5, 1, 19, 0xB2)});
//   std::vector<uint8_t> file = s3m.bytes();
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

struct S3mInstrumentSpec {
    uint8_t type = 1;  // 1 sample, 2.. AdLib
    std::string name;
    std::vector<uint8_t> data;       // stored bytes (8- or 16-bit, as the flags say)
    std::optional<uint32_t> length;  // frames in the header; default data.size() / frame bytes
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint8_t volume = 64;
    uint8_t flags = 0;  // 1 loop, 2 stereo, 4 16-bit
    uint32_t sampleRate = 8363;
    std::optional<uint32_t> dataOffset;   // absolute offset (multiple of 16); default after the rest
    std::optional<uint16_t> parapointer;  // forces the instrument's parapointer
};

// One packed entry: which groups are present follows from the optional fields.
struct S3mEntry {
    uint32_t row = 0;
    uint8_t channel = 0;  // S3M channel 0..31
    std::optional<uint8_t> noteByte;
    uint8_t instrument = 0;
    std::optional<uint8_t> volume;
    std::optional<uint8_t> commandByte;
    uint8_t info = 0;

    static S3mEntry withNote(uint32_t row, uint8_t channel, uint8_t noteByte, uint8_t instrument);
    static S3mEntry command(uint32_t row, uint8_t channel, uint8_t command, uint8_t info);
    static S3mEntry volumeOnly(uint32_t row, uint8_t channel, uint8_t volume);
};

class S3mWriter {
   public:
    S3mWriter();

    std::string title = "s3m test";
    uint8_t type = 16;
    uint16_t version = 0x1320;
    uint16_t sampleFormat = 2;  // 2 unsigned, 1 signed
    std::string tag = "SCRM";
    uint8_t globalVolume = 64;
    uint8_t speed = 6;
    uint8_t tempo = 125;
    uint8_t masterVolume = 0xB0;  // bit 7: stereo
    uint8_t panMarker = 0;        // 252: pan table present
    std::array<uint8_t, 32> channelSettings{};
    std::array<uint8_t, 32> panTable{};
    std::vector<uint8_t> orders = {0, 255};
    std::vector<S3mInstrumentSpec> instruments;
    std::vector<std::vector<S3mEntry>> patterns = {{}};
    std::vector<std::optional<uint16_t>> patternParapointers;           // forced parapointers by index
    std::optional<uint16_t> orderCount, instrumentCount, patternCount;  // header counts if forced

    std::vector<uint8_t> bytes() const;
    // The packed bytes of one pattern, without the 2-byte length.
    static std::vector<uint8_t> pack(const std::vector<S3mEntry>& entries);
};

}  // namespace tarvex::test
