// Filtered voices go through the filter several side by side in the vector loops and one by one
// in the plain loops; both must give the same bytes, whatever the gains, ramps, sample ends and
// call lengths. Songs are made here (many filtered notes ringing on, resonance, Zxx, envelopes),
// and the corpus' IT songs join in when it is there.
#include <gtest/gtest.h>

#include <random>

#include "audio/Mixer.h"
#include "audio/Player.h"
#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ItWriter.h"

namespace tarvex::test {
namespace {

ItWriter filteredSong(uint32_t seed) {
    std::mt19937 rng(seed);
    ItWriter it;
    it.flags = 1 | 4 | 8;  // stereo, instruments, linear slides
    it.speed = 3;
    for (uint32_t s = 0; s < 3; ++s) {
        ItSample sample;
        const uint32_t length = 40 + rng() % 3000;
        for (uint32_t i = 0; i < length; ++i)
            sample.frames.push_back(static_cast<int16_t>(rng() % 60000) - 30000);
        sample.sixteenBit = true;
        if (s != 2) {  // the last one ends, so that voices stop inside runs
            sample.loopFlags = s == 0 ? 1 : 1 | 4;
            sample.loopEnd = length;
        }
        sample.c5Speed = 8000 + rng() % 40000;
        it.samples.push_back(sample);
    }
    for (uint8_t i = 0; i < 4; ++i) {
        ItInstrument instrument;
        for (auto& key : instrument.keyboard) key.second = static_cast<uint8_t>(1 + (key.first + i) % 3);
        instrument.newNoteAction = static_cast<uint8_t>(1 + i % 3);  // continue, off, fade
        instrument.fadeout = static_cast<uint16_t>(4 + rng() % 60);
        instrument.cutoff = static_cast<uint8_t>(128 | rng() % 128);
        instrument.resonance = static_cast<uint8_t>(128 | (i == 3 ? 127 : rng() % 128));
        instrument.volume = {.points = {{0, 64}, {static_cast<uint16_t>(2 + rng() % 20), 10}, {40, 40}},
                             .flags = 1 | 4,
                             .sustainStart = 2,
                             .sustainEnd = 2};
        instrument.randomVolume = static_cast<uint8_t>(rng() % 30);
        it.instruments.push_back(instrument);
    }
    ItPattern pattern;
    pattern.rows = 64;
    for (uint32_t row = 0; row < pattern.rows; ++row) {
        for (uint32_t channel = 0; channel < 6; ++channel) {
            if (rng() % 3 != 0) continue;
            ItCell cell{.row = row, .channel = channel};
            cell.note = static_cast<uint8_t>(rng() % 10 == 0 ? 255 : 30 + rng() % 60);
            cell.instrument = static_cast<uint8_t>(1 + rng() % 4);
            cell.volume = static_cast<uint8_t>(rng() % 65);
            if (rng() % 4 == 0) {
                cell.effect = 'Z' - '@';
                cell.param = static_cast<uint8_t>(rng() % 0x90);
            } else if (rng() % 4 == 0) {
                cell.effect = 'X' - '@';  // panning
                cell.param = static_cast<uint8_t>(rng());
            }
            pattern.cells.push_back(cell);
        }
    }
    it.patterns = {pattern, pattern};
    it.orders = {0, 1, 255};
    return it;
}

std::vector<uint8_t> render(const Module& module, uint32_t rate, bool isp, bool vector, uint32_t frames,
                            uint32_t seed) {
    Player player;
    player.module = std::make_unique<Module>(module);
    player.settings.Frequency = rate;
    player.settings.ISP = isp;
    player.settings.Resolution = 24;  // the bits a difference of one in the mix shows in
    player.settings.LoopsAllowed = false;
    startSong(player);
    player.mix.vectorKernels = vector;
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * player.mix.bytesPerFrame);
    uint32_t done = 0;
    while (done < frames && !player.playbackFinished) {
        const uint32_t n = std::min<uint32_t>(1 + rng() % 3000, frames - done);
        renderFrames(player, bytes.data() + static_cast<size_t>(done) * player.mix.bytesPerFrame, n);
        done += n;
    }
    bytes.resize(static_cast<size_t>(done) * player.mix.bytesPerFrame);
    return bytes;
}

void expectBothLoopsAgree(const Module& module, uint32_t seed, uint32_t seconds, const std::string& name) {
    static const uint32_t rates[] = {44100, 22050, 48000, 8000};
    const uint32_t rate = rates[seed % 4];
    const bool isp = seed % 3 != 0;
    const std::vector<uint8_t> vector = render(module, rate, isp, true, rate * seconds, seed);
    const std::vector<uint8_t> plain = render(module, rate, isp, false, rate * seconds, seed);
    ASSERT_EQ(vector.size(), plain.size()) << name;
    const auto [a, b] = std::mismatch(vector.begin(), vector.end(), plain.begin());
    EXPECT_TRUE(a == vector.end()) << name << " at " << rate << " Hz: byte " << (a - vector.begin())
                                   << " differs";
    // The song must really play something: a silent render would agree for nothing.
    EXPECT_TRUE(std::any_of(plain.begin(), plain.end(), [](uint8_t x) { return x != 0; })) << name;
}

TEST(FilteredMix, TheVectorLoopsGiveThePlainLoopsBytes) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        Module module;
        ASSERT_TRUE(loadModuleBytes(filteredSong(seed).bytes(), "IT", module).loaded);
        expectBothLoopsAgree(module, seed, 6, "song " + std::to_string(seed));
    }
    uint32_t seed = 100;
    for (const std::filesystem::path& file : corpusXmItFiles("it", ".it")) {
        Module module;
        if (!loadModuleFile(file.string(), module).loaded) continue;
        const bool filtered =
            std::any_of(module.instruments.begin(), module.instruments.end(),
                        [](const Instrument& i) { return i.filterCutoffSet || i.filterResonanceSet; });
        if (filtered) expectBothLoopsAgree(module, seed++, 20, file.filename().string());
    }
}

}  // namespace
}  // namespace tarvex::test
