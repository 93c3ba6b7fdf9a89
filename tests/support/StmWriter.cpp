#include "support/StmWriter.h"

namespace tarvex::test {

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void putText(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t size) {
    for (size_t i = 0; i < size && i < text.size(); ++i) out[at + i] = static_cast<uint8_t>(text[i]);
}

}  // namespace

StmWriter::StmWriter() {
    orders.fill(99);
}

void StmWriter::setCell(uint32_t pattern, uint32_t row, uint32_t channel, std::array<uint8_t, 4> cell) {
    if (patterns.size() <= pattern) patterns.resize(pattern + 1);
    for (size_t i = 0; i < 4; ++i) patterns[pattern][(row * 4 + channel) * 4 + i] = cell[i];
}

std::vector<uint8_t> StmWriter::bytes() const {
    std::vector<uint8_t> out(1168, 0);
    putText(out, 0, title, 20);
    putText(out, 20, tag, 8);
    out[28] = 0x1A;
    out[29] = type;
    out[30] = major;
    out[31] = minor;
    out[32] = tempo;
    out[33] = patternCountByte.value_or(static_cast<uint8_t>(patterns.size()));
    out[34] = globalVolume;
    for (size_t i = 0; i < 31; ++i) {
        const StmSampleSpec& s = samples[i];
        const size_t h = 48 + 32 * i;
        putText(out, h, s.name, 12);
        put16(out, h + 16, s.length.value_or(static_cast<uint16_t>(s.data.size())));
        put16(out, h + 18, s.loopStart);
        put16(out, h + 20, s.loopEnd);
        out[h + 22] = s.volume;
        put16(out, h + 24, s.sampleRate);
    }
    for (size_t i = 0; i < 128; ++i) out[1040 + i] = orders[i];
    for (const auto& pattern : patterns) out.insert(out.end(), pattern.begin(), pattern.end());
    for (size_t i = 0; i < 31; ++i) {
        const StmSampleSpec& s = samples[i];
        if (alignSamples && !s.data.empty()) {
            out.resize((out.size() + 15) / 16 * 16, 0);
            put16(out, 48 + 32 * i + 14, static_cast<uint16_t>(out.size() / 16));
        }
        for (int8_t v : s.data) out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

}  // namespace tarvex::test
