#include "support/ItWriter.h"

#include <algorithm>

namespace tarvex::test {

namespace {

using Bytes = std::vector<uint8_t>;

void add16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void add32(Bytes& out, uint32_t value) {
    add16(out, static_cast<uint16_t>(value));
    add16(out, static_cast<uint16_t>(value >> 16));
}

void put32(Bytes& out, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

void addText(Bytes& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

void addFrames(Bytes& out, const std::vector<int16_t>& frames, bool sixteenBit, bool signedData) {
    for (int16_t v : frames) {
        if (sixteenBit) {
            add16(out, static_cast<uint16_t>(signedData ? v : v + 32768));
        } else {
            const int8_t byte = static_cast<int8_t>(v);
            out.push_back(static_cast<uint8_t>(signedData ? byte : byte + 128));
        }
    }
}

Bytes sampleData(const ItSample& sample) {
    if (sample.stored) return *sample.stored;
    Bytes out;
    const bool signedData = (sample.convert & 1) != 0;
    addFrames(out, sample.frames, sample.sixteenBit, signedData);
    if (sample.stereo) addFrames(out, sample.right, sample.sixteenBit, signedData);
    return out;
}

// The new-format envelope: flags, count, loops, 25 points of (value, tick), a padding byte.
void addEnvelope(Bytes& out, const ItEnvelope& envelope) {
    out.push_back(envelope.flags);
    out.push_back(envelope.count.value_or(static_cast<uint8_t>(envelope.points.size())));
    out.push_back(envelope.loopStart);
    out.push_back(envelope.loopEnd);
    out.push_back(envelope.sustainStart);
    out.push_back(envelope.sustainEnd);
    for (size_t p = 0; p < 25; ++p) {
        const auto point = p < envelope.points.size() ? envelope.points[p] : std::pair<uint16_t, int8_t>{};
        out.push_back(static_cast<uint8_t>(point.second));
        add16(out, point.first);
    }
    out.push_back(0);
}

Bytes instrumentBytes(const ItInstrument& in) {
    Bytes out;
    addText(out, "IMPI", 4);
    addText(out, "", 12);
    out.push_back(0);
    if (in.old) {
        const ItEnvelope& v = in.volume;
        out.push_back(v.flags);
        out.push_back(v.loopStart);
        out.push_back(v.loopEnd);
        out.push_back(v.sustainStart);
        out.push_back(v.sustainEnd);
        add16(out, 0);
        add16(out, in.fadeout);
        out.push_back(in.newNoteAction);
        out.push_back(in.duplicateNoteCheck);
        add32(out, 0);  // tracker version, sample count, unused
    } else {
        out.push_back(in.newNoteAction);
        out.push_back(in.duplicateCheck);
        out.push_back(in.duplicateAction);
        add16(out, in.fadeout);
        out.push_back(static_cast<uint8_t>(in.pitchPanSeparation));
        out.push_back(in.pitchPanCentre);
        out.push_back(in.globalVolume);
        out.push_back(in.defaultPan);
        out.push_back(in.randomVolume);
        out.push_back(in.randomPanning);
        add32(out, 0);
    }
    addText(out, in.name, 26);
    out.push_back(in.old ? 0 : in.cutoff);
    out.push_back(in.old ? 0 : in.resonance);
    add32(out, 0);
    for (const auto& [note, sample] : in.keyboard) {
        out.push_back(note);
        out.push_back(sample);
    }
    if (in.old) {
        out.resize(0x1F8, 0);  // the 200-byte volume curve is left empty
        for (size_t p = 0; p < 25; ++p) {
            const bool used = p < in.volume.points.size();
            out.push_back(used ? static_cast<uint8_t>(in.volume.points[p].first) : 0xFF);
            out.push_back(used ? static_cast<uint8_t>(in.volume.points[p].second) : 0);
        }
    } else {
        addEnvelope(out, in.volume);
        addEnvelope(out, in.panning);
        addEnvelope(out, in.pitch);
    }
    out.resize(554, 0);
    return out;
}

Bytes sampleHeader(const ItSample& s, uint32_t dataOffset) {
    Bytes out;
    addText(out, "IMPS", 4);
    addText(out, "", 12);
    out.push_back(0);
    out.push_back(s.globalVolume);
    out.push_back(static_cast<uint8_t>((s.hasData ? 1 : 0) | (s.sixteenBit ? 2 : 0) | (s.stereo ? 4 : 0) |
                                       s.loopFlags | s.extraFlags));
    out.push_back(s.volume);
    addText(out, s.name, 26);
    out.push_back(s.convert);
    out.push_back(s.panning);
    add32(out, s.length.value_or(static_cast<uint32_t>(s.frames.size())));
    add32(out, s.loopStart);
    add32(out, s.loopEnd);
    add32(out, s.c5Speed);
    add32(out, s.sustainStart);
    add32(out, s.sustainEnd);
    add32(out, dataOffset);
    out.insert(out.end(), s.vibrato.begin(), s.vibrato.end());
    return out;
}

}  // namespace

std::array<std::pair<uint8_t, uint8_t>, 120> ItInstrument::defaultKeyboard() {
    std::array<std::pair<uint8_t, uint8_t>, 120> keys;
    for (size_t k = 0; k < keys.size(); ++k) keys[k] = {static_cast<uint8_t>(k), 0};
    return keys;
}

Bytes ItWriter::pack(const ItPattern& pattern) {
    if (pattern.packed) return *pattern.packed;
    std::vector<ItCell> cells = pattern.cells;
    std::stable_sort(cells.begin(), cells.end(),
                     [](const ItCell& a, const ItCell& b) { return a.row < b.row; });
    Bytes out;
    uint32_t row = 0;
    for (const ItCell& cell : cells) {
        for (; row < cell.row; ++row) out.push_back(0);
        const bool command = cell.effect != 0 || cell.param != 0;
        const uint8_t mask = static_cast<uint8_t>((cell.note ? 1 : 0) | (cell.instrument ? 2 : 0) |
                                                  (cell.volume ? 4 : 0) | (command ? 8 : 0));
        out.push_back(static_cast<uint8_t>(((cell.channel + 1) & 63) | 128));
        out.push_back(mask);
        if (cell.note) out.push_back(*cell.note);
        if (cell.instrument) out.push_back(*cell.instrument);
        if (cell.volume) out.push_back(*cell.volume);
        if (command) {
            out.push_back(cell.effect);
            out.push_back(cell.param);
        }
    }
    for (; row < pattern.rows; ++row) out.push_back(0);
    return out;
}

Bytes ItWriter::bytes() const {
    const bool withInstruments = (flags & 4) != 0 || !instruments.empty();
    const uint16_t instrumentCount = withInstruments ? static_cast<uint16_t>(instruments.size()) : 0;
    const bool midi = parametricMacros || fixedMacros;
    uint16_t specialBits = static_cast<uint16_t>(special | (message.empty() ? 0 : 1) | (midi ? 8 : 0) |
                                                 (historyEntries ? 2 : 0));
    Bytes out;
    addText(out, "IMPM", 4);
    addText(out, title, 26);
    add16(out, 0x1004);  // row highlight
    add16(out, static_cast<uint16_t>(orders.size()));
    add16(out, instrumentCount);
    add16(out, static_cast<uint16_t>(samples.size()));
    add16(out, static_cast<uint16_t>(patterns.size()));
    add16(out, cwt);
    add16(out, cmwt);
    add16(out, flags);
    add16(out, specialBits);
    for (uint8_t b : {globalVolume, mixVolume, speed, tempo, separation, uint8_t{0}}) out.push_back(b);
    add16(out, static_cast<uint16_t>(message.empty() ? 0 : message.size() + 1));
    const size_t messageOffsetAt = out.size();
    add32(out, 0);
    add32(out, 0);
    out.insert(out.end(), channelPanning.begin(), channelPanning.end());
    out.insert(out.end(), channelVolume.begin(), channelVolume.end());
    out.insert(out.end(), orders.begin(), orders.end());
    const size_t instrumentTable = out.size();
    const size_t sampleTable = instrumentTable + 4 * size_t{instrumentCount};
    const size_t patternTable = sampleTable + 4 * samples.size();
    out.resize(patternTable + 4 * patterns.size(), 0);
    if (historyEntries) {
        add16(out, *historyEntries);
        out.resize(out.size() + 8 * size_t{*historyEntries}, 0);
    }
    if (midi) {
        const auto addMacro = [&](const std::string& text) { addText(out, text, 32); };
        for (int g = 0; g < 9; ++g) addMacro("");
        for (int i = 0; i < 16; ++i) addMacro(parametricMacros ? (*parametricMacros)[i] : std::string());
        for (int i = 0; i < 128; ++i) addMacro(fixedMacros ? (*fixedMacros)[i] : std::string());
    }
    if (!message.empty()) {
        put32(out, messageOffsetAt, static_cast<uint32_t>(out.size()));
        addText(out, message, message.size() + 1);
    }
    for (uint16_t i = 0; i < instrumentCount; ++i) {
        put32(out, instrumentTable + 4 * i, static_cast<uint32_t>(out.size()));
        const Bytes instrument = instrumentBytes(instruments[i]);
        out.insert(out.end(), instrument.begin(), instrument.end());
    }
    std::vector<size_t> headerAt;
    for (size_t s = 0; s < samples.size(); ++s) {
        put32(out, sampleTable + 4 * s, static_cast<uint32_t>(out.size()));
        headerAt.push_back(out.size());
        const Bytes header = sampleHeader(samples[s], 0);
        out.insert(out.end(), header.begin(), header.end());
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        if (patterns[p].absent) continue;
        put32(out, patternTable + 4 * p, static_cast<uint32_t>(out.size()));
        const Bytes data = pack(patterns[p]);
        add16(out, patterns[p].length.value_or(static_cast<uint16_t>(data.size())));
        add16(out, patterns[p].rows);
        add32(out, 0);
        out.insert(out.end(), data.begin(), data.end());
    }
    for (size_t s = 0; s < samples.size(); ++s) {
        put32(out, headerAt[s] + 0x48, static_cast<uint32_t>(out.size()));
        const Bytes data = sampleData(samples[s]);
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

}  // namespace tarvex::test
