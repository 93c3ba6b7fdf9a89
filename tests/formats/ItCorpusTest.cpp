// The IT files of the second corpus (TARVEX_CORPUS_XMIT: it/ and malformed/) through the IT reader.
#include <gtest/gtest.h>

#include "core/EffectCodes.h"
#include "formats/ItCompression.h"
#include "formats/ItReader.h"
#include "formats/LoadResult.h"
#include "support/Corpus.h"

namespace tarvex {
namespace {

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = 0;
    Module module;
};

Loaded loadBytes(const std::vector<uint8_t>& bytes) {
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadIt(file, out.module, out.result, out.sizeDetail, "IT");
    return out;
}

bool envelopeBroken(const Envelope& e) {
    if (e.count > kEnvelopePoints) return true;
    if (e.on && e.count == 0) return true;
    if (e.loopOn && (e.loopStart > e.loopEnd || e.loopEnd >= e.count)) return true;
    if (e.sustainOn && (e.sustain > e.sustainEnd || e.sustainEnd >= e.count)) return true;
    for (uint32_t p = 0; p < e.count; ++p) {
        if (e.points[p].value > 64) return true;
    }
    return false;
}

// The rules a loaded IT keeps, whatever its file held; empty when all hold.
std::string brokenRule(const Module& m, size_t fileSize) {
    if (m.formatType != kFormatIt || !m.rules.impulseChannels) return "format type";
    if (m.channelCount < 1 || m.channelCount > 64) return "channel count";
    if (m.panLeft.size() != m.channelCount || m.panRight.size() != m.channelCount ||
        m.channelPanning.size() != m.channelCount || m.channelVolume.size() != m.channelCount)
        return "channel tables";
    for (uint32_t c = 0; c < m.channelCount; ++c) {
        if (m.panLeft[c] + m.panRight[c] != 1024) return "channel gains";
        const uint8_t pan = m.channelPanning[c] & 127;
        if ((pan > 64 && pan != kChannelSurround) || m.channelVolume[c] > 64)
            return "channel panning or volume";
    }
    if (m.initialGlobalVolume > 128 || m.mixVolume > 128 || m.panSeparation > 128) return "header volumes";
    if (m.patterns.size() != m.patternCount || m.patternRows.size() != m.patternCount) return "pattern count";
    if (m.orders.size() != m.songLength) return "song length";
    for (uint32_t order : m.orders) {
        if (order >= m.patternCount || order >= 254) return "order names no pattern";
    }
    for (uint32_t p = 0; p < m.patternCount; ++p) {
        const uint32_t rows = rowsOf(m, p);
        if (rows < 1 || rows > 256) return "row count";
        const Pattern& cells = m.patterns[p];
        for (size_t i = 0; i < cells.size(); ++i) {
            const NoteCell& c = cells[i];
            if (c.row >= rows) return "cell row beyond its pattern";
            if (c.channel >= m.channelCount) return "cell channel";
            if (c.effect >= kItEffectEnd || (c.effect != 0 && c.effect < kItEffectA)) return "effect code";
            if (c.effect == 0 && c.param != 0) return "parameter without effect";
            if (c.volumeCommand > kVolumeItVibrato) return "volume command";
            if (c.xmNote > kItLastNote && c.xmNote != kItNoteFade && c.xmNote != kItNoteCut &&
                c.xmNote != kItNoteOff)
                return "note";
            if (c.volume != -1) return "volume field";
            if (i > 0 &&
                (cells[i - 1].row > c.row || (cells[i - 1].row == c.row && cells[i - 1].channel > c.channel)))
                return "cells out of order";
        }
    }
    if (m.samples.size() != m.sampleCount) return "sample count";
    for (const Sample& s : m.samples) {
        if (s.data.size() != s.length) return "sample data";
        if (s.loopEnd > s.length || (s.loopEnd != 0 && s.loopStart >= s.loopEnd)) return "sample loop";
        if (s.sustainEnd > s.length || (s.sustainEnd != 0 && s.sustainStart >= s.sustainEnd))
            return "sustain loop";
        if (s.volume > 64 || s.globalVolume > 64 || s.vibratoType > 3) return "sample volumes";
    }
    if (!m.instrumentMode && !m.instruments.empty()) return "instruments in sample mode";
    for (const Instrument& in : m.instruments) {
        if (envelopeBroken(in.volume) || envelopeBroken(in.panning) || envelopeBroken(in.pitch))
            return "envelope";
        for (uint32_t key = 0; key < kInstrumentNotes; ++key) {
            if (in.sampleOfNote[key] > 255) return "note map sample beyond a byte";
            if (in.noteOfNote[key] >= kInstrumentNotes) return "note map note";
        }
        if (in.newNoteAction > kNnaNoteFade || in.duplicateCheck > kDctInstrument ||
            in.duplicateAction > kDcaNoteFade)
            return "new-note action";
        if (in.fadeout > 1024 || in.globalVolume > 128 || in.defaultPanning > 64) return "instrument values";
    }
    if (moduleFootprint(m) > 64 * fileSize + (size_t{1} << 20)) return "footprint";
    return {};
}

TEST(ItCorpus, EveryFileLoadsWithinBoundsOrIsRefused) {
    std::vector<std::filesystem::path> files = test::corpusXmItFiles("it", ".it");
    const std::vector<std::filesystem::path> malformed = test::corpusXmItFiles("malformed", ".it");
    files.insert(files.end(), malformed.begin(), malformed.end());
    if (files.empty()) GTEST_SKIP() << test::noXmItCorpusMessage();
    size_t loaded = 0;
    for (const std::filesystem::path& path : files) {
        SCOPED_TRACE(path.string());
        const std::vector<uint8_t> bytes = test::readFileBytes(path);
        const Loaded l = loadBytes(bytes);
        if (!l.ok) {
            EXPECT_EQ(l.result, kResultUnsupported);
            EXPECT_EQ(moduleFootprint(l.module), moduleFootprint(Module{}));
            continue;
        }
        ++loaded;
        EXPECT_TRUE(l.result == kResultOk || l.result == kResultSizeMismatch || l.result == kResultCorrupt);
        EXPECT_EQ(l.result == kResultSizeMismatch, l.sizeDetail < 0);
        EXPECT_EQ(brokenRule(l.module, bytes.size()), "");
    }
    EXPECT_GT(loaded, files.size() / 2);
}

// The songs against what the files' own headers and tables hold, and every file of it/ loading
// without complaint; the malformed ones each with the verdict their damage earns.
TEST(ItCorpus, KnownFiles) {
    if (test::corpusXmItFiles("it", ".it").empty()) GTEST_SKIP() << test::noXmItCorpusMessage();
    const struct {
        const char* name;
        uint32_t channels, orders, patterns, instruments, samples;
        const char* writer;
    } songs[] = {
        {"4th_Symmetriad.it", 16, 26, 32, 66, 26, "Impulse Tracker 2.16"},
        {"Fight2.it", 9, 8, 8, 10, 84, "Impulse Tracker 1.03"},          // instruments before IT 2.00
        {"another life.it", 16, 35, 26, 7, 11, "Impulse Tracker 2.17"},  // nibble-packed samples
        {"test.it", 1, 2, 2, 0, 4, "OpenMPT 1.31"},                      // packed 8/16-bit, mono and stereo
    };
    const std::filesystem::path dir = test::corpusXmItDir() / "it";
    for (const auto& c : songs) {
        SCOPED_TRACE(c.name);
        const Loaded l = loadBytes(test::readFileBytes(dir / c.name));
        ASSERT_TRUE(l.ok);
        const Module& m = l.module;
        EXPECT_EQ(m.channelCount, c.channels);
        EXPECT_EQ(m.songLength, c.orders);
        EXPECT_EQ(m.patternCount, c.patterns);
        EXPECT_EQ(m.instruments.size(), c.instruments);
        EXPECT_EQ(m.sampleCount, c.samples);
        EXPECT_EQ(m.writtenBy.view(), c.writer);
    }

    for (const std::filesystem::path& path : test::corpusXmItFiles("it", ".it")) {
        SCOPED_TRACE(path.string());
        const Loaded l = loadBytes(test::readFileBytes(path));
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultOk) << "size detail " << l.sizeDetail;
    }

    const struct {
        const char* name;
        int32_t result;
    } malformed[] = {
        {"load_it_truncated_pattern.it", kResultSizeMismatch},
        {"load_it_invalid_compressed3.it", kResultCorrupt},  // a packed block that names no width
        {"load_it_invalid_compressed4.it", kResultCorrupt},
        {"play_it_bad_sustain.it", kResultCorrupt},  // sustain loops outside their samples
        {"play_it_bad_env_sustain.it", kResultCorrupt},
        {"play_it_truncated_sample.it", kResultSizeMismatch},
    };
    for (const auto& c : malformed) {
        SCOPED_TRACE(c.name);
        const Loaded l = loadBytes(test::readFileBytes(test::corpusXmItDir() / "malformed" / c.name));
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.result, c.result);
    }
}

// The packed samples of it/, block by block, straight from their files: a block unpacks to its
// frames and stops inside its own bytes, its last byte in use. A wrong reading of any width or
// change code would run short of bits or leave whole bytes unread.
TEST(ItCorpus, PackedBlocksUseExactlyTheirBytes) {
    const std::vector<std::filesystem::path> files = test::corpusXmItFiles("it", ".it");
    if (files.empty()) GTEST_SKIP() << test::noXmItCorpusMessage();
    size_t blocks = 0;
    for (const std::filesystem::path& path : files) {
        SCOPED_TRACE(path.string());
        const std::vector<uint8_t> b = test::readFileBytes(path);
        const auto u16 = [&](size_t at) { return static_cast<uint32_t>(b.at(at) | b.at(at + 1) << 8); };
        const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        const size_t sampleTable = 0xC0 + u16(0x20) + 4 * size_t{u16(0x22)};
        for (uint32_t s = 0; s < u16(0x24); ++s) {
            const size_t header = u32(sampleTable + 4 * s);
            const uint8_t flags = b.at(header + 0x12);
            if ((flags & 9) != 9) continue;  // not packed, or no data
            const bool sixteenBit = (flags & 2) != 0;
            const uint32_t channels = (flags & 4) != 0 ? 2 : 1;
            const size_t perBlock = sixteenBit ? kItBlockBytes / 2 : kItBlockBytes;
            size_t at = u32(header + 0x48);
            for (uint32_t channel = 0; channel < channels; ++channel) {
                for (size_t left = u32(header + 0x30); left > 0; left -= std::min(left, perBlock)) {
                    const uint32_t count = u16(at);
                    ASSERT_LE(at + 2 + count, b.size());
                    std::vector<int16_t> out(std::min(left, perBlock));
                    const ItBlockResult r = unpackItBlock(std::span(b).subspan(at + 2, count), sixteenBit,
                                                          (b.at(header + 0x2E) & 4) != 0, out);
                    EXPECT_FALSE(r.damaged) << "sample " << s + 1;
                    EXPECT_EQ(r.frames, out.size());
                    EXPECT_EQ((r.bits + 7) / 8, count) << "sample " << s + 1;
                    at += 2 + count;
                    ++blocks;
                }
            }
        }
    }
    EXPECT_GT(blocks, 100u);
}

}  // namespace
}  // namespace tarvex
