#include "support/ModWriter.h"

namespace tarvex::test {

namespace {

void putBigEndian16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void putText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

}  // namespace

ModWriter ModWriter::withSignature(const std::string& signature, uint32_t channels) {
    ModWriter mod;
    mod.samples.resize(31);
    mod.signature = signature;
    mod.channels = channels;
    return mod;
}

ModWriter ModWriter::fifteenSamples() {
    ModWriter mod;
    mod.samples.resize(15);
    return mod;
}

void ModWriter::setRawCell(uint32_t pattern, uint32_t row, uint32_t channel, std::array<uint8_t, 4> cell) {
    std::vector<uint8_t>& data = patterns_[pattern];
    data.resize(channels * 256);
    size_t offset = (row * channels + channel) * 4;
    if (signature == "FLT8") offset = (channel < 4 ? 0 : 1024) + row * 16 + (channel % 4) * 4;
    for (size_t i = 0; i < 4; ++i) data[offset + i] = cell[i];
}

void ModWriter::setCell(uint32_t pattern, uint32_t row, uint32_t channel, uint8_t sample, uint16_t period,
                        uint8_t effect, uint8_t param) {
    setRawCell(pattern, row, channel,
               {static_cast<uint8_t>((sample & 0xF0) | ((period >> 8) & 0x0F)), static_cast<uint8_t>(period),
                static_cast<uint8_t>(((sample & 0x0F) << 4) | (effect & 0x0F)), param});
}

std::vector<uint8_t> ModWriter::bytes() const {
    std::vector<uint8_t> out;
    putText(out, title, 20);
    for (const ModSampleSpec& s : samples) {
        putText(out, s.name, 22);
        putBigEndian16(out, s.lengthWords.value_or(static_cast<uint16_t>(s.data.size() / 2)));
        out.push_back(s.finetune);
        out.push_back(s.volume);
        putBigEndian16(out, s.loopStartWords);
        putBigEndian16(out, s.loopLengthWords);
    }
    out.push_back(songLength);
    out.push_back(restart);
    out.insert(out.end(), orders.begin(), orders.end());
    if (samples.size() == 31) putText(out, signature, 4);
    for (uint32_t p = 0; p < patternCount; ++p) {
        const auto found = patterns_.find(p);
        if (found != patterns_.end()) {
            out.insert(out.end(), found->second.begin(), found->second.end());
        } else {
            out.resize(out.size() + channels * 256, 0);
        }
    }
    for (const ModSampleSpec& s : samples) {
        for (int8_t v : s.data) out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

size_t ModWriter::expectedSize() const {
    size_t size = (samples.size() == 31 ? 1084 : 600) + patternCount * channels * 256;
    for (const ModSampleSpec& s : samples)
        size += 2 * size_t{s.lengthWords.value_or(static_cast<uint16_t>(s.data.size() / 2))};
    return size;
}

}  // namespace tarvex::test
