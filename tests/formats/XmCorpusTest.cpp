// The XM files of the second corpus (TARVEX_CORPUS_XMIT: xm/ and malformed/) through the XM reader.
#include <gtest/gtest.h>

#include <map>

#include "core/EffectCodes.h"
#include "formats/LoadResult.h"
#include "formats/XmReader.h"
#include "support/Corpus.h"

namespace tarvex {
namespace {

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = 0;
    Module module;
};

Loaded loadFile(const std::filesystem::path& path, size_t& size) {
    const std::vector<uint8_t> bytes = test::readFileBytes(path);
    size = bytes.size();
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadXm(file, out.module, out.result, out.sizeDetail, "XM");
    return out;
}

// The rules a loaded XM keeps, whatever its file held; empty when all hold.
std::string brokenRule(const Module& m, size_t fileSize) {
    if (m.formatType != kFormatXm) return "format type";
    if (m.channelCount < 1 || m.channelCount > 32) return "channel count";
    if (m.panLeft != std::vector<int32_t>(m.channelCount, 512) || m.panRight != m.panLeft)
        return "channel panning";
    if (m.patternCount > 256 || m.patterns.size() != m.patternCount || m.patternRows.size() != m.patternCount)
        return "pattern count";
    if (m.songLength > 256 || m.orders.size() != m.songLength) return "song length";
    for (uint32_t order : m.orders) {
        if (order >= m.patternCount) return "order names no pattern";
    }
    if (m.restartPosition != 0 && m.restartPosition >= m.songLength) return "restart position";
    for (uint32_t p = 0; p < m.patternCount; ++p) {
        const uint32_t rows = rowsOf(m, p);
        if (rows < 1 || rows > 256) return "row count";
        const Pattern& cells = m.patterns[p];
        for (size_t i = 0; i < cells.size(); ++i) {
            const NoteCell& c = cells[i];
            if (c.row >= rows) return "cell row beyond its pattern";
            if (c.channel >= m.channelCount) return "cell channel";
            if (c.effect >= kXmEffectEnd) return "effect code";
            if (c.volumeCommand > kVolumeTonePorta) return "volume command";
            if (c.xmNote > kXmKeyOff) return "note";
            if (i > 0 && (cells[i - 1].row > c.row ||
                          (cells[i - 1].row == c.row && cells[i - 1].channel >= c.channel)))
                return "cells out of order";
        }
    }
    if (m.samples.size() != m.sampleCount) return "sample count";
    for (const Sample& s : m.samples) {
        if (s.data.size() != s.length) return "sample data";
        if (s.loopEnd > s.length || (s.loopEnd != 0 && s.loopStart >= s.loopEnd)) return "sample loop";
    }
    if (m.instruments.size() > 128) return "instrument count";
    for (const Instrument& instrument : m.instruments) {
        if (instrument.volume.count > 12 || instrument.panning.count > 12) return "envelope points";
        for (uint16_t s : instrument.sampleOfNote) {
            const bool own =
                s > instrument.firstSample && s <= instrument.firstSample + instrument.sampleCount;
            if (s != 0 && (!own || s > m.sampleCount)) return "note map names another instrument's sample";
        }
    }
    if (moduleFootprint(m) > 64 * fileSize + (size_t{1} << 20)) return "footprint";
    return {};
}

TEST(XmCorpus, EveryFileLoadsWithinBoundsOrIsRefused) {
    std::vector<std::filesystem::path> files = test::corpusXmItFiles("xm", ".xm");
    const std::vector<std::filesystem::path> malformed = test::corpusXmItFiles("malformed", ".xm");
    files.insert(files.end(), malformed.begin(), malformed.end());
    if (files.empty()) GTEST_SKIP() << test::noXmItCorpusMessage();
    size_t loaded = 0;
    for (const std::filesystem::path& path : files) {
        SCOPED_TRACE(path.string());
        size_t size = 0;
        const Loaded l = loadFile(path, size);
        if (!l.ok) {
            EXPECT_EQ(l.result, kResultUnsupported);
            EXPECT_EQ(moduleFootprint(l.module), sizeof(Module));
            continue;
        }
        ++loaded;
        EXPECT_TRUE(l.result == kResultOk || l.result == kResultSizeMismatch || l.result == kResultCorrupt);
        EXPECT_EQ(l.result == kResultSizeMismatch, l.sizeDetail < 0);
        EXPECT_EQ(brokenRule(l.module, size), "");
    }
    EXPECT_GT(loaded, files.size() / 2);
}

// The songs and a few tests against what another player's information shows for them, and every
// well-formed file of xm/ loading without complaint.
TEST(XmCorpus, KnownFiles) {
    if (test::corpusXmItFiles("xm", ".xm").empty()) GTEST_SKIP() << test::noXmItCorpusMessage();
    // Two of the songs end within the header of an empty instrument: cut files, said to be so.
    const struct {
        const char* name;
        uint32_t channels, orders, patterns, instruments, samples;
        int32_t result;
    } cases[] = {
        {"dontyou.xm", 8, 32, 21, 21, 20, kResultOk},  // version 0x0102: instruments before patterns
        {"grass near the house.xm", 16, 14, 13, 7, 29, kResultOk},
        {"MRHPx-HBTN LUCiFER.xm", 8, 31, 26, 46, 45, kResultOk},  // nibble-packed samples
        {"xyce-dans_la_rue.xm", 22, 45, 35, 11, 11, kResultOk},
        {"ZALZA - Tekilla groove.xm", 10, 14, 13, 80, 9, kResultSizeMismatch},
        {"JUHO - Ihana paiva.xm", 4, 19, 14, 31, 5, kResultSizeMismatch},
        {"roadblas.xm", 4, 41, 59, 33, 13, kResultOk},
        {"format_xm_pattrunc.xm", 4, 1, 1, 1, 1, kResultOk},  // pattern data ending early
    };
    const std::filesystem::path dir = test::corpusXmItDir() / "xm";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        size_t size = 0;
        const Loaded l = loadFile(dir / c.name, size);
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, c.result);
        const Module& m = l.module;
        EXPECT_EQ(m.channelCount, c.channels);
        EXPECT_EQ(m.songLength, c.orders);
        EXPECT_EQ(m.patternCount, c.patterns);
        EXPECT_EQ(m.instruments.size(), c.instruments);
        EXPECT_EQ(m.sampleCount, c.samples);
    }

    // Every other file of xm/ but the one that only looks like an XM further in loads with no complaint.
    for (const std::filesystem::path& path : test::corpusXmItFiles("xm", ".xm")) {
        SCOPED_TRACE(path.string());
        size_t size = 0;
        const Loaded l = loadFile(path, size);
        if (path.filename() == "ice21_ambiguous.xm") {
            EXPECT_FALSE(l.ok);
            continue;
        }
        if (path.filename() == "ZALZA - Tekilla groove.xm" || path.filename() == "JUHO - Ihana paiva.xm")
            continue;
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultOk) << "size detail " << l.sizeDetail;
    }
}

}  // namespace
}  // namespace tarvex
