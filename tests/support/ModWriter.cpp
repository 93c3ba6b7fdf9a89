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
    out.insert(out.end(), afterSignature.begin(), afterSignature.end());
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
    size_t size = (samples.size() == 31 ? 1084 : 600) + afterSignature.size() + patternCount * channels * 256;
    for (const ModSampleSpec& s : samples)
        size += 2 * size_t{s.lengthWords.value_or(static_cast<uint16_t>(s.data.size() / 2))};
    return size;
}

std::vector<uint8_t> threeSongMod() {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.title = "three songs";
    std::vector<int8_t> wave(512);
    for (size_t i = 0; i < wave.size(); ++i) wave[i] = int8_t(int(i * 7 % 256) - 128);
    mod.samples[0].name = "saw";
    mod.samples[0].data = wave;
    mod.samples[0].loopLengthWords = 256;
    mod.songLength = 3;
    mod.orders[0] = 0;
    mod.orders[1] = 1;
    mod.orders[2] = 2;
    mod.patternCount = 3;
    const uint16_t periods[] = {428, 381, 339, 320, 285, 254};
    for (uint32_t pattern = 0; pattern < 3; ++pattern) {
        for (uint32_t row = 0; row < 64; row += 4)
            mod.setCell(pattern, row, 0, 1, periods[(row / 4 + pattern) % 6], 0, 0);
    }
    mod.setCell(0, 8, 1, 0, 0, 0xF, 0x00);
    mod.setCell(1, 16, 1, 0, 0, 0xF, 0x00);
    return mod.bytes();
}

}  // namespace tarvex::test
