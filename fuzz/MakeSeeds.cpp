// Writes the seed corpora of the fuzz targets: small modules from the test builders that reach every
// effect, signature and sample layout, plus the shared corpus files of each format (for playback,
// behind a few control headers).
//
// Usage: tarvex-fuzz-seeds OUTDIR [CORPUSDIR...]  -> OUTDIR/{mod,s3m,stm,xm,it,play}/
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "support/ItWriter.h"
#include "support/ModWriter.h"
#include "support/S3mWriter.h"
#include "support/StmWriter.h"
#include "support/XmWriter.h"

namespace fs = std::filesystem;
using namespace tarvex;
using namespace tarvex::test;

namespace {

using Bytes = std::vector<uint8_t>;

struct Seed {
    std::string name;
    std::string extension;  // MOD, S3M, STM, XM or IT
    Bytes bytes;
};

constexpr size_t kPlaySeedBytes = 128 * 1024;  // corpus files are cut to this for playback seeds

std::vector<int8_t> wave(size_t length, int period) {
    std::vector<int8_t> data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<int8_t>((i % period) * 255 / period - 128);
    return data;
}

void addModSeeds(std::vector<Seed>& seeds) {
    static const uint16_t periods[] = {856, 808, 762, 720, 679, 641, 605, 571,
                                       539, 508, 480, 453, 428, 113, 1712};
    // One pattern per effect family, on every channel, with notes that start samples.
    const auto fill = [](ModWriter& mod, uint32_t channels) {
        mod.samples[0].data = wave(64, 16);
        mod.samples[0].loopStartWords = 8;
        mod.samples[0].loopLengthWords = 8;
        mod.samples[1].data = wave(300, 50);
        mod.samples[1].finetune = 0x0F;
        mod.samples[2].data = wave(4, 2);
        mod.samples[2].loopStartWords = 0;
        mod.samples[2].loopLengthWords = 2;
        mod.patternCount = 3;
        mod.songLength = 4;
        mod.orders[0] = 0;
        mod.orders[1] = 1;
        mod.orders[2] = 2;
        mod.orders[3] = 1;
        for (uint32_t row = 0; row < 64; ++row) {
            for (uint32_t c = 0; c < channels; ++c) {
                const uint8_t effect = static_cast<uint8_t>((row + c) % 16);
                const uint8_t param = static_cast<uint8_t>(row * 37 + c * 11);
                mod.setCell(0, row, c, static_cast<uint8_t>(1 + (row + c) % 3), periods[(row + c) % 15],
                            effect, param);
                mod.setCell(1, row, c, row % 4 == 0 ? 2 : 0, row % 2 ? periods[row % 15] : 0, 0x0E,
                            static_cast<uint8_t>((row % 16) << 4 | (c + row) % 16));
            }
        }
        mod.setCell(2, 0, 0, 1, 428, 0x0B, 0);     // jump back to the first order
        mod.setCell(2, 1, 1, 3, 113, 0x0D, 0x99);  // break to a row beyond the pattern
        mod.setCell(2, 2, 0, 1, 428, 0x0F, 0);     // speed 0
    };
    const struct {
        const char* signature;
        uint32_t channels;
    } kinds[] = {{"M.K.", 4}, {"M!K!", 4}, {"FLT4", 4},  {"FLT8", 8},  {"6CHN", 6},  {"8CHN", 8},
                 {"CD81", 8}, {"OKTA", 8}, {"16CH", 16}, {"32CN", 32}, {"12CH", 12}, {"2CHN", 4}};
    for (const auto& kind : kinds) {
        ModWriter mod = ModWriter::withSignature(kind.signature, kind.channels);
        fill(mod, kind.channels);
        std::string name = kind.signature;
        std::replace(name.begin(), name.end(), '.', '_');
        std::replace(name.begin(), name.end(), '!', '_');
        seeds.push_back({"mod-" + name, "MOD", mod.bytes()});
    }
    ModWriter old = ModWriter::fifteenSamples();
    fill(old, 4);
    seeds.push_back({"mod-15-samples", "MOD", old.bytes()});

    ModWriter shortFile = ModWriter::withSignature("M.K.");
    fill(shortFile, 4);
    Bytes cut = shortFile.bytes();
    cut.resize(cut.size() - 700);  // size check: the samples are taken from the end
    seeds.push_back({"mod-short", "MOD", cut});
}

void addS3mSeeds(std::vector<Seed>& seeds) {
    S3mWriter s3m;
    s3m.panMarker = 252;
    for (int k = 0; k < 32; ++k) s3m.panTable[k] = static_cast<uint8_t>(0x20 | (k % 16));
    for (int k = 4; k < 12; ++k) s3m.channelSettings[k] = static_cast<uint8_t>(k);
    std::vector<uint8_t> ramp(256);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i);
    s3m.instruments.push_back({.name = "looped", .data = ramp, .loopStart = 16, .loopEnd = 200, .flags = 1});
    std::vector<uint8_t> sixteen(512);
    for (size_t i = 0; i < sixteen.size(); ++i) sixteen[i] = static_cast<uint8_t>(i * 7);
    s3m.instruments.push_back({.name = "16-bit", .data = sixteen, .flags = 4, .sampleRate = 22050});
    s3m.instruments.push_back({.name = "stereo", .data = ramp, .flags = 2});
    s3m.instruments.push_back({.type = 2, .name = "adlib"});
    s3m.instruments.push_back(
        {.name = "tiny loop", .data = {0, 255}, .loopStart = 0, .loopEnd = 1, .flags = 1, .sampleRate = 0});
    s3m.orders = {0, 1, 254, 2, 0, 255};
    s3m.patterns.assign(3, {});
    for (uint32_t row = 0; row < 64; ++row) {
        for (uint8_t c = 0; c < 12; ++c) {
            const uint8_t note = static_cast<uint8_t>(((row + c) % 8) << 4 | (row * 5 + c) % 12);
            S3mEntry entry = S3mEntry::withNote(row, c, row % 9 == 8 ? 254 : note,
                                                static_cast<uint8_t>(1 + (row + c) % 6));
            entry.volume = static_cast<uint8_t>((row * 3 + c) % 70);
            entry.commandByte = static_cast<uint8_t>(1 + (row + c) % 26);
            entry.info = static_cast<uint8_t>(row * 41 + c * 13);
            s3m.patterns[0].push_back(entry);
            s3m.patterns[1].push_back(
                S3mEntry::command(row, c, 19, static_cast<uint8_t>((row % 16) << 4 | c)));
        }
    }
    s3m.patterns[2].push_back(S3mEntry::command(0, 0, 20, 0));   // tempo 0
    s3m.patterns[2].push_back(S3mEntry::command(1, 1, 2, 200));  // jump beyond the orders
    s3m.patterns[2].push_back(S3mEntry::command(2, 2, 3, 0x99));
    seeds.push_back({"s3m-effects", "S3M", s3m.bytes()});

    S3mWriter mono;
    mono.masterVolume = 0x30;
    mono.sampleFormat = 1;
    mono.tempo = 0;
    mono.speed = 0;
    mono.instruments.push_back({.name = "signed", .data = ramp, .loopStart = 300, .loopEnd = 100});
    mono.patterns = {{S3mEntry::withNote(0, 0, 0x40, 1), S3mEntry::withNote(0, 1, 0x41, 9),
                      S3mEntry::command(1, 0, 15, 0xFF)}};
    mono.patternParapointers = {std::nullopt};
    seeds.push_back({"s3m-mono-odd", "S3M", mono.bytes()});
}

void addStmSeeds(std::vector<Seed>& seeds) {
    StmWriter stm;
    stm.samples[0].data = wave(200, 20);
    stm.samples[0].loopStart = 50;
    stm.samples[0].loopEnd = 150;
    stm.samples[1].data = wave(64, 8);
    stm.samples[2].data = wave(8, 4);
    stm.samples[2].loopStart = 0;
    stm.samples[2].loopEnd = 2;
    stm.patterns.assign(2, {});
    for (uint32_t row = 0; row < 64; ++row) {
        for (uint32_t c = 0; c < 4; ++c) {
            const uint8_t note = static_cast<uint8_t>(((row + c) % 5) << 4 | (row + 3 * c) % 12);
            const uint8_t sample = static_cast<uint8_t>(1 + (row + c) % 3);
            const uint8_t volume = static_cast<uint8_t>((row * 7 + c) % 72);
            const uint8_t command = static_cast<uint8_t>((row + c) % 16);
            stm.setCell(
                0, row, c,
                {note, static_cast<uint8_t>(sample << 3 | (volume & 7)),
                 static_cast<uint8_t>((volume >> 3) << 4 | command), static_cast<uint8_t>(row * 29 + c)});
        }
    }
    stm.setCell(1, 0, 0, {0xFF, 0x08, 0x1B, 0x00});
    stm.orders[0] = 0;
    stm.orders[1] = 1;
    stm.orders[2] = 0;
    stm.orders[3] = 99;
    seeds.push_back({"stm-effects", "STM", stm.bytes()});
    stm.alignSamples = true;
    seeds.push_back({"stm-aligned", "STM", stm.bytes()});
}

void addXmSeeds(std::vector<Seed>& seeds) {
    // Every effect and volume-column command, notes over the whole range, key-offs.
    XmWriter xm;
    xm.channels = 5;
    xm.orders = {0, 1, 0, 2};
    xm.restart = 1;
    xm.patterns.resize(3);
    xm.patterns[1].rows = 1;
    xm.patterns[2].rows = 256;
    xm.patterns[2].packed = false;
    for (uint32_t row = 0; row < 64; ++row) {
        const uint32_t channel = row % 5;
        xm.patterns[0].cells.push_back({.row = row,
                                        .channel = channel,
                                        .note = static_cast<uint8_t>(row % 3 == 2 ? 97 : 1 + row * 3 % 96),
                                        .instrument = static_cast<uint8_t>(1 + row % 3),
                                        .volume = static_cast<uint8_t>(0x10 + row * 4),
                                        .effect = static_cast<uint8_t>(row % 36),
                                        .param = static_cast<uint8_t>(row * 37)});
    }
    xm.patterns[2].cells.push_back(
        {.row = 255, .channel = 4, .note = 49, .instrument = 1, .effect = 0x21, .param = 0x12});
    XmSampleSpec pingPong;
    pingPong.sixteenBit = true;
    pingPong.loop = 2;
    pingPong.loopStart = 8;
    pingPong.loopLength = 40;
    for (int i = 0; i < 64; ++i) pingPong.frames.push_back(static_cast<int16_t>(i * 1000 - 32000));
    XmSampleSpec forward;
    forward.loop = 1;
    forward.loopStart = 4;
    forward.loopLength = 12;
    for (int8_t v : wave(32, 8)) forward.frames.push_back(v);
    XmInstrumentSpec first = XmInstrumentSpec::single("env", {pingPong, forward});
    for (size_t n = 0; n < first.map.size(); ++n) first.map[n] = static_cast<uint8_t>(n % 2);
    first.volume.points = {{0, 64}, {8, 20}, {20, 50}, {40, 0}};
    first.volume.sustain = 1;
    first.volume.loopStart = 1;
    first.volume.loopEnd = 2;
    first.volume.type = 7;
    first.panning.points = {{0, 0}, {30, 64}};
    first.panning.type = 5;
    first.vibratoType = 1;
    first.vibratoSweep = 20;
    first.vibratoDepth = 4;
    first.vibratoRate = 10;
    first.fadeout = 0x400;
    XmSampleSpec nibbles;
    nibbles.reserved = 0xAD;
    nibbles.lengthBytes = 20;
    nibbles.stored = Bytes(26, 0x31);
    xm.instruments = {first, XmInstrumentSpec::single("empty", {}),
                      XmInstrumentSpec::single("packed", {nibbles})};
    seeds.push_back({"xm-effects", "XM", xm.bytes()});

    XmWriter old = xm;
    old.version = 0x0102;
    for (XmPatternSpec& pattern : old.patterns) pattern.headerLength = 8;
    seeds.push_back({"xm-0102", "XM", old.bytes()});

    XmWriter larger = xm;
    larger.headerSize = 20 + 256 + 16;
    for (XmInstrumentSpec& instrument : larger.instruments) {
        instrument.headerSize = 263;
        instrument.sampleHeaderSize = 48;
    }
    seeds.push_back({"xm-large-headers", "XM", larger.bytes()});

    Bytes cut = xm.bytes();
    cut.resize(cut.size() * 2 / 3);
    seeds.push_back({"xm-short", "XM", cut});
}

void addItSeeds(std::vector<Seed>& seeds) {
    // Instrument mode: every effect letter, every volume-column byte, notes over the whole range
    // with cut, off and fade, the three envelopes with their loops, both sample loops.
    ItWriter it;
    it.flags = 1 | 4 | 8;
    it.orders = {0, 1, 254, 2, 0, 255};
    it.patterns.resize(3);
    it.patterns[1].rows = 1;
    it.patterns[2].rows = 200;
    // Every letter but the jumps B and C, which pattern 1 holds: the song plays on for a while.
    const auto effectOf = [](uint32_t n) {
        const uint8_t command = static_cast<uint8_t>(1 + n % 26);
        return command == 2 || command == 3 ? uint8_t{4} : command;
    };
    it.patterns[1].cells.push_back({.row = 0, .channel = 0, .effect = 3, .param = 0x10});
    it.patterns[1].cells.push_back({.row = 0, .channel = 1, .effect = 2, .param = 3});
    for (uint32_t row = 0; row < 64; ++row) {
        for (uint32_t channel = 0; channel < 6; ++channel) {
            const uint32_t n = row * 6 + channel;
            const uint8_t note =
                n % 9 == 8 ? static_cast<uint8_t>(253 + n % 3) : static_cast<uint8_t>(n * 7 % 120);
            it.patterns[0].cells.push_back({.row = row,
                                            .channel = channel * 11 % 64,
                                            .note = note,
                                            .instrument = static_cast<uint8_t>(1 + n % 4),
                                            .volume = static_cast<uint8_t>(n % 213),
                                            .effect = effectOf(n),
                                            .param = static_cast<uint8_t>(n * 37)});
        }
    }
    it.patterns[2].cells.push_back(
        {.row = 199, .channel = 63, .note = 60, .instrument = 1, .effect = 19, .param = 0x91});
    ItSample sustained{.name = "sustained", .sixteenBit = true};
    for (int i = 0; i < 64; ++i) sustained.frames.push_back(static_cast<int16_t>(i * 1000 - 32000));
    sustained.loopFlags = 0x10 | 0x20 | 0x80;  // forward loop, ping-pong sustain loop
    sustained.loopStart = 40;
    sustained.loopEnd = 60;
    sustained.sustainStart = 8;
    sustained.sustainEnd = 30;
    sustained.vibrato = {10, 4, 20, 1};
    sustained.panning = 128 | 20;
    ItSample looped{.name = "looped", .loopFlags = 0x10 | 0x40, .loopStart = 4, .loopEnd = 12};
    for (int8_t v : wave(32, 8)) looped.frames.push_back(v);
    looped.c5Speed = 22050;
    it.samples = {sustained, looped};
    ItInstrument envelopes;
    envelopes.name = "envelopes";
    for (size_t key = 0; key < envelopes.keyboard.size(); ++key)
        envelopes.keyboard[key] = {static_cast<uint8_t>(119 - key), static_cast<uint8_t>(1 + key % 2)};
    envelopes.newNoteAction = 1;
    envelopes.duplicateCheck = 1;
    envelopes.duplicateAction = 2;
    envelopes.fadeout = 300;
    envelopes.pitchPanSeparation = -20;
    envelopes.defaultPan = 10;
    envelopes.randomVolume = 50;
    envelopes.randomPanning = 30;
    envelopes.cutoff = 128 | 60;
    envelopes.resonance = 128 | 100;
    envelopes.volume = {.points = {{0, 64}, {8, 20}, {20, 50}, {40, 0}},
                        .flags = 7,
                        .loopStart = 1,
                        .loopEnd = 2,
                        .sustainStart = 0,
                        .sustainEnd = 1};
    envelopes.panning = {.points = {{0, -32}, {30, 32}}, .flags = 3, .loopEnd = 1};
    envelopes.pitch = {.points = {{0, 0}, {10, 32}, {20, -32}}, .flags = 128 | 5, .sustainEnd = 2};
    ItInstrument fading = envelopes;
    fading.name = "pitch";
    fading.pitch.flags = 1;
    fading.newNoteAction = 3;
    fading.duplicateCheck = 3;
    ItInstrument empty;
    empty.name = "no samples";
    it.instruments = {envelopes, fading, empty};
    seeds.push_back({"it-effects", "IT", it.bytes()});

    ItWriter old = it;
    old.cmwt = 0x0100;
    for (ItInstrument& instrument : old.instruments) {
        instrument.old = true;
        instrument.duplicateNoteCheck = 1;
    }
    seeds.push_back({"it-old-instruments", "IT", old.bytes()});

    // Sample mode, old effects and compatible Gxx, a message and MIDI macros.
    ItWriter samples = it;
    samples.flags = 1 | 16 | 32;
    samples.instruments.clear();
    samples.special = 1;
    samples.message = "line one\rline two";
    samples.channelPanning[1] = 100;
    samples.channelPanning[2] = 128 | 64;
    samples.channelVolume[3] = 0;
    std::array<std::string, 16> parametric{};
    parametric[0] = "F0F000z";
    parametric[1] = "F0F001z";
    std::array<std::string, 128> fixed{};
    for (size_t i = 0; i < fixed.size(); ++i) {
        fixed[i] = i % 2 == 0 ? "F0F000" : "F0F001z";
        if (i % 2 == 0) fixed[i] += std::to_string(i % 10);
    }
    samples.parametricMacros = parametric;
    samples.fixedMacros = fixed;
    seeds.push_back({"it-samples-macros", "IT", samples.bytes()});

    Bytes cut = it.bytes();
    cut.resize(cut.size() * 2 / 3);
    seeds.push_back({"it-short", "IT", cut});
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string extensionOf(const fs::path& path) {
    std::string extension;
    if (!findExtension(path.filename().string(), extension)) return {};
    if (extension == "WOW" || extension == "NST") return "MOD";
    return extension;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// Control headers for playback seeds: a plain play, and one with every switch moving.
std::vector<Bytes> playHeaders(const std::string& extension) {
    PlayInput plain;
    plain.extension = extension == "S3M"   ? "S3M"
                      : extension == "STM" ? "STM"
                      : extension == "XM"  ? "XM"
                      : extension == "IT"  ? "IT"
                                           : "MOD";
    plain.eighths = 16;
    PlayInput busy = plain;
    busy.rate = 8000;
    busy.bits = 8;
    busy.channels = 1;
    busy.bufferLength = 15;
    busy.eighths = 80;
    for (uint32_t p = 0; p < kPlayPhases; ++p) {
        PlayPhase& phase = busy.phases[p];
        phase.isp = p % 2;
        phase.click = p % 3 != 0;
        phase.wide = p % 4 < 2;
        phase.clipping = p != 3;
        phase.loops = p < 6;
        phase.rewinding = p == 2 || p == 5;
        phase.fastForward = p == 1 || p == 4;
        phase.restart = p == 6;
        phase.preamp = 1 + p * 140;
    }
    return {encodePlayHeader(plain), encodePlayHeader(busy)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [CORPUSDIR]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* sub : {"mod", "s3m", "stm", "xm", "it", "play"}) fs::create_directories(out / sub);

    std::vector<Seed> seeds;
    addModSeeds(seeds);
    addS3mSeeds(seeds);
    addStmSeeds(seeds);
    addXmSeeds(seeds);
    addItSeeds(seeds);
    for (int arg = 2; arg < argc; ++arg) {
        if (!fs::is_directory(argv[arg])) continue;
        for (const auto& entry : fs::recursive_directory_iterator(argv[arg])) {
            if (!entry.is_regular_file()) continue;
            const std::string extension = extensionOf(entry.path());
            if (extension != "MOD" && extension != "S3M" && extension != "STM" && extension != "XM" &&
                extension != "IT")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            seeds.push_back({"corpus-" + entry.path().parent_path().filename().string() + "-" +
                                 entry.path().filename().string(),
                             extension, std::move(bytes)});
        }
    }

    size_t written = 0;
    for (const Seed& seed : seeds) {
        writeFile(out / lowerCase(seed.extension) / seed.name, seed.bytes);
        written += 1;
        const std::vector<Bytes> headers = playHeaders(seed.extension);
        for (size_t h = 0; h < headers.size(); ++h) {
            Bytes play = headers[h];
            play.insert(play.end(), seed.bytes.begin(),
                        seed.bytes.begin() +
                            static_cast<std::ptrdiff_t>(std::min(seed.bytes.size(), kPlaySeedBytes)));
            writeFile(out / "play" / (seed.name + "-" + std::to_string(h)), play);
        }
    }
    std::printf("%zu seeds in %s\n", written, out.c_str());
    return 0;
}
