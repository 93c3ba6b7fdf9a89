#include "support/S3mWriter.h"

#include <algorithm>

namespace tarvex::test {

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    put16(out, at, static_cast<uint16_t>(value));
    put16(out, at + 2, static_cast<uint16_t>(value >> 16));
}

void putText(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t size) {
    for (size_t i = 0; i < size && i < text.size(); ++i) out[at + i] = static_cast<uint8_t>(text[i]);
}

void align16(std::vector<uint8_t>& out) {
    out.resize((out.size() + 15) / 16 * 16, 0);
}

}  // namespace

S3mEntry S3mEntry::withNote(uint32_t row, uint8_t channel, uint8_t noteByte, uint8_t instrument) {
    S3mEntry entry;
    entry.row = row;
    entry.channel = channel;
    entry.noteByte = noteByte;
    entry.instrument = instrument;
    return entry;
}

S3mEntry S3mEntry::command(uint32_t row, uint8_t channel, uint8_t command, uint8_t info) {
    S3mEntry entry;
    entry.row = row;
    entry.channel = channel;
    entry.commandByte = command;
    entry.info = info;
    return entry;
}

S3mEntry S3mEntry::volumeOnly(uint32_t row, uint8_t channel, uint8_t volume) {
    S3mEntry entry;
    entry.row = row;
    entry.channel = channel;
    entry.volume = volume;
    return entry;
}

S3mWriter::S3mWriter() {
    channelSettings.fill(255);
    channelSettings[0] = 0;
    channelSettings[1] = 8;
    channelSettings[2] = 1;
    channelSettings[3] = 9;
}

std::vector<uint8_t> S3mWriter::pack(const std::vector<S3mEntry>& entries) {
    std::vector<S3mEntry> sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const S3mEntry& a, const S3mEntry& b) { return a.row < b.row; });
    std::vector<uint8_t> out;
    size_t next = 0;
    for (uint32_t row = 0; row < 64; ++row) {
        for (; next < sorted.size() && sorted[next].row == row; ++next) {
            const S3mEntry& e = sorted[next];
            uint8_t w = e.channel & 31;
            if (e.noteByte) w |= 32;
            if (e.volume) w |= 64;
            if (e.commandByte) w |= 128;
            out.push_back(w);
            if (e.noteByte) {
                out.push_back(*e.noteByte);
                out.push_back(e.instrument);
            }
            if (e.volume) out.push_back(*e.volume);
            if (e.commandByte) {
                out.push_back(*e.commandByte);
                out.push_back(e.info);
            }
        }
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> S3mWriter::bytes() const {
    const size_t oc = orders.size(), ic = instruments.size(), pc = patterns.size();
    std::vector<uint8_t> out(96, 0);
    putText(out, 0, title, 28);
    out[28] = 0x1A;
    out[29] = type;
    put16(out, 32, orderCount.value_or(static_cast<uint16_t>(oc)));
    put16(out, 34, instrumentCount.value_or(static_cast<uint16_t>(ic)));
    put16(out, 36, patternCount.value_or(static_cast<uint16_t>(pc)));
    put16(out, 40, version);
    put16(out, 42, sampleFormat);
    putText(out, 44, tag, 4);
    out[48] = globalVolume;
    out[49] = speed;
    out[50] = tempo;
    out[51] = masterVolume;
    out[53] = panMarker;
    std::copy(channelSettings.begin(), channelSettings.end(), out.begin() + 64);
    out.insert(out.end(), orders.begin(), orders.end());
    const size_t instrumentTable = out.size();
    out.resize(out.size() + 2 * ic + 2 * pc, 0);
    const size_t patternTable = instrumentTable + 2 * ic;
    if (panMarker == 252) out.insert(out.end(), panTable.begin(), panTable.end());

    std::vector<size_t> headerAt(ic);
    for (size_t i = 0; i < ic; ++i) {
        align16(out);
        headerAt[i] = out.size();
        out.resize(out.size() + 80, 0);
        const S3mInstrumentSpec& s = instruments[i];
        const size_t h = headerAt[i];
        const size_t frameBytes = ((s.flags & 4) ? 2 : 1) * ((s.flags & 2) ? 2 : 1);
        out[h] = s.type;
        put32(out, h + 16, s.length.value_or(static_cast<uint32_t>(s.data.size() / frameBytes)));
        put32(out, h + 20, s.loopStart);
        put32(out, h + 24, s.loopEnd);
        out[h + 28] = s.volume;
        out[h + 31] = s.flags;
        put32(out, h + 32, s.sampleRate);
        putText(out, h + 48, s.name, 28);
        putText(out, h + 76, "SCRS", 4);
        put16(out, instrumentTable + 2 * i, s.parapointer.value_or(static_cast<uint16_t>(h / 16)));
    }
    for (size_t j = 0; j < pc; ++j) {
        align16(out);
        const size_t at = out.size();
        const std::vector<uint8_t> packed = pack(patterns[j]);
        out.resize(out.size() + 2, 0);
        put16(out, at, static_cast<uint16_t>(packed.size() + 2));
        out.insert(out.end(), packed.begin(), packed.end());
        std::optional<uint16_t> forced =
            j < patternParapointers.size() ? patternParapointers[j] : std::nullopt;
        put16(out, patternTable + 2 * j, forced.value_or(static_cast<uint16_t>(at / 16)));
    }
    for (size_t i = 0; i < ic; ++i) {
        const S3mInstrumentSpec& s = instruments[i];
        align16(out);
        size_t at = out.size();
        if (s.dataOffset) {
            at = *s.dataOffset;
            if (out.size() < at) out.resize(at, 0);
        }
        if (out.size() < at + s.data.size()) out.resize(at + s.data.size(), 0);
        std::copy(s.data.begin(), s.data.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        const uint32_t parapointer = static_cast<uint32_t>(at / 16);
        out[headerAt[i] + 13] = static_cast<uint8_t>(parapointer >> 16);
        put16(out, headerAt[i] + 14, static_cast<uint16_t>(parapointer));
    }
    return out;
}

}  // namespace tarvex::test
