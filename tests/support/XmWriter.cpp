#include "support/XmWriter.h"

#include <algorithm>

namespace tarvex::test {

namespace {

using Bytes = std::vector<uint8_t>;

// Declared sizes above this are written as declared but padded only this far: a file that
// claims 4 GiB of header stays small.
constexpr size_t kMaxPadding = 4096;

void add16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void add32(Bytes& out, uint32_t value) {
    add16(out, static_cast<uint16_t>(value));
    add16(out, static_cast<uint16_t>(value >> 16));
}

void addText(Bytes& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

void addEnvelopePoints(Bytes& out, const XmEnvelopeSpec& envelope) {
    for (size_t i = 0; i < 12; ++i) {
        const std::pair<uint16_t, uint16_t> point =
            i < envelope.points.size() ? envelope.points[i] : std::pair<uint16_t, uint16_t>{};
        add16(out, point.first);
        add16(out, point.second);
    }
}

// The delta-coded bytes of a sample's frames.
Bytes sampleData(const XmSampleSpec& sample) {
    if (sample.stored) return *sample.stored;
    Bytes out;
    int16_t old = 0;
    for (int16_t value : sample.frames) {
        if (sample.sixteenBit) {
            add16(out, static_cast<uint16_t>(value - old));
        } else {
            out.push_back(static_cast<uint8_t>(static_cast<int8_t>(value) - static_cast<int8_t>(old)));
        }
        old = value;
    }
    return out;
}

// Instrument header, sample headers (each at the declared stride); data not included.
Bytes instrumentHeaders(const XmInstrumentSpec& instrument) {
    Bytes out;
    const bool withSamples = !instrument.samples.empty() || instrument.sampleCount.value_or(0) > 0;
    const uint32_t size = instrument.headerSize.value_or(withSamples ? 243 : 29);
    add32(out, size);
    addText(out, instrument.name, 22);
    out.push_back(0);
    add16(out, instrument.sampleCount.value_or(static_cast<uint16_t>(instrument.samples.size())));
    if (withSamples) {
        add32(out, instrument.sampleHeaderSize);
        out.insert(out.end(), instrument.map.begin(), instrument.map.end());
        addEnvelopePoints(out, instrument.volume);
        addEnvelopePoints(out, instrument.panning);
        out.push_back(
            instrument.volume.count.value_or(static_cast<uint8_t>(instrument.volume.points.size())));
        out.push_back(
            instrument.panning.count.value_or(static_cast<uint8_t>(instrument.panning.points.size())));
        for (const XmEnvelopeSpec* e : {&instrument.volume, &instrument.panning}) {
            out.push_back(e->sustain);
            out.push_back(e->loopStart);
            out.push_back(e->loopEnd);
        }
        out.push_back(instrument.volume.type);
        out.push_back(instrument.panning.type);
        out.push_back(instrument.vibratoType);
        out.push_back(instrument.vibratoSweep);
        out.push_back(instrument.vibratoDepth);
        out.push_back(instrument.vibratoRate);
        add16(out, instrument.fadeout);
        add16(out, 0);
    }
    out.resize(std::max<size_t>(out.size(), std::min<size_t>(size, kMaxPadding)), 0);  // padding
    for (const XmSampleSpec& sample : instrument.samples) {
        Bytes header;
        const uint32_t written = static_cast<uint32_t>(sampleData(sample).size());
        add32(header, sample.lengthBytes.value_or(written));
        add32(header, sample.loopStart);
        add32(header, sample.loopLength);
        header.push_back(sample.volume);
        header.push_back(static_cast<uint8_t>(sample.finetune));
        header.push_back(static_cast<uint8_t>(sample.loop | (sample.sixteenBit ? 16 : 0) | sample.extraType));
        header.push_back(sample.panning);
        header.push_back(static_cast<uint8_t>(sample.relativeNote));
        header.push_back(sample.reserved);
        addText(header, sample.name, 22);
        header.resize(std::clamp<size_t>(instrument.sampleHeaderSize, 40, kMaxPadding), 0);
        out.insert(out.end(), header.begin(), header.end());
    }
    return out;
}

}  // namespace

XmInstrumentSpec XmInstrumentSpec::single(std::string name, std::vector<XmSampleSpec> samples) {
    XmInstrumentSpec instrument;
    instrument.name = std::move(name);
    instrument.samples = std::move(samples);
    return instrument;
}

Bytes XmWriter::pack(const XmPatternSpec& pattern, uint16_t channels) {
    std::vector<XmCell> grid(size_t{pattern.rows} * channels);
    for (const XmCell& cell : pattern.cells) {
        if (cell.row < pattern.rows && cell.channel < channels)
            grid[size_t{cell.row} * channels + cell.channel] = cell;
    }
    Bytes out;
    for (const XmCell& cell : grid) {
        const uint8_t fields[5] = {cell.note, cell.instrument, cell.volume, cell.effect, cell.param};
        if (!pattern.packed) {
            out.insert(out.end(), fields, fields + 5);
            continue;
        }
        uint8_t mask = 0x80;
        for (int k = 0; k < 5; ++k) {
            if (fields[k] != 0) mask = static_cast<uint8_t>(mask | (1 << k));
        }
        out.push_back(mask);
        for (int k = 0; k < 5; ++k) {
            if (fields[k] != 0) out.push_back(fields[k]);
        }
    }
    return out;
}

Bytes XmWriter::bytes() const {
    Bytes out;
    addText(out, "Extended Module: ", 17);
    addText(out, title, 20);
    out.push_back(0x1A);
    addText(out, trackerName, 20);
    add16(out, version);
    const uint32_t size = headerSize.value_or(20 + 256);
    add32(out, size);
    add16(out, songLength.value_or(static_cast<uint16_t>(orders.size())));
    add16(out, restart);
    add16(out, channels);
    add16(out, patternCount.value_or(static_cast<uint16_t>(patterns.size())));
    add16(out, instrumentCount.value_or(static_cast<uint16_t>(instruments.size())));
    add16(out, flags);
    add16(out, speed);
    add16(out, bpm);
    for (uint32_t i = 0; i + 20 < std::min<size_t>(size, kMaxPadding); ++i) {
        out.push_back(i < orders.size() ? orders[i] : 0);
    }

    const bool old = version < 0x0104;
    Bytes patternBytes;
    for (const XmPatternSpec& pattern : patterns) {
        Bytes data = pack(pattern, channels);
        add32(patternBytes, pattern.headerLength);
        patternBytes.push_back(0);
        if (version <= 0x0102) {
            patternBytes.push_back(static_cast<uint8_t>(pattern.rows - 1));
        } else {
            add16(patternBytes, pattern.rows);
        }
        add16(patternBytes, pattern.packedSize.value_or(static_cast<uint16_t>(data.size())));
        const size_t written = version <= 0x0102 ? 8 : 9;
        for (size_t i = written; i < std::min<size_t>(pattern.headerLength, kMaxPadding); ++i)
            patternBytes.push_back(0);
        // A smaller declared size ends the data there; a larger one is a claim the file does not keep.
        if (pattern.packedSize && *pattern.packedSize < data.size()) data.resize(*pattern.packedSize);
        patternBytes.insert(patternBytes.end(), data.begin(), data.end());
    }
    if (!old) out.insert(out.end(), patternBytes.begin(), patternBytes.end());
    Bytes allData;
    for (const XmInstrumentSpec& instrument : instruments) {
        const Bytes headers = instrumentHeaders(instrument);
        out.insert(out.end(), headers.begin(), headers.end());
        for (const XmSampleSpec& sample : instrument.samples) {
            const Bytes data = sampleData(sample);
            (old ? allData : out).insert((old ? allData : out).end(), data.begin(), data.end());
        }
    }
    if (old) {
        out.insert(out.end(), patternBytes.begin(), patternBytes.end());
        out.insert(out.end(), allData.begin(), allData.end());
    }
    return out;
}

}  // namespace tarvex::test
