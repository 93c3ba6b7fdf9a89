// Composes Tarvex's demo song, a 4-channel MOD with synthesized samples, and writes it to the path
// given (default examples/demo.mod). The output is deterministic: the same program writes the
// same bytes.
//
// Music: A minor, Am - F - C - G, one chord per bar, 16 rows per bar at speed 6 and 125 BPM
// (52 s). Channel 1 drums, 2 bass, 3 arpeggiated chords, 4 lead. Effects: set speed, arpeggio,
// vibrato, tone portamento, volume slides, set volume, note cut, retrigger and a pattern break.
//
// Usage: compose-demo [OUT.mod]
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSampleRate = 8363.0;  // the rate of a sample played at period 428
constexpr int kChannels = 4;
constexpr int kRows = 64;

// ---------------------------------------------------------------- samples

struct SampleDef {
    std::string name;
    std::vector<int8_t> data;
    uint8_t volume = 64;
    bool looped = false;  // the whole sample is one loop
};

int8_t clip8(double v) {
    const long r = std::lround(v);
    return static_cast<int8_t>(r > 127 ? 127 : r < -128 ? -128 : r);
}

// One cycle of a waveform built from harmonics (amplitude of harmonic k at index k - 1).
std::vector<int8_t> cycle(int length, const std::vector<double>& harmonics, double peak) {
    std::vector<double> v(length);
    double maxAbs = 0;
    for (int i = 0; i < length; ++i) {
        double s = 0;
        for (size_t k = 0; k < harmonics.size(); ++k) {
            s += harmonics[k] * std::sin(2 * kPi * static_cast<double>(k + 1) * i / length);
        }
        v[i] = s;
        maxAbs = std::max(maxAbs, std::fabs(s));
    }
    std::vector<int8_t> out(length);
    for (int i = 0; i < length; ++i) out[i] = clip8(v[i] / maxAbs * peak);
    return out;
}

// A small deterministic noise source.
struct Noise {
    uint32_t state = 0x9E3779B9u;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

std::vector<int8_t> kick() {
    std::vector<int8_t> out(2400);
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = i / kSampleRate;
        const double freq = 48 + 120 * std::exp(-t * 28);
        phase += 2 * kPi * freq / kSampleRate;
        out[i] = clip8(127 * std::exp(-t * 8) * std::sin(phase));
    }
    return out;
}

std::vector<int8_t> snare() {
    Noise noise;
    std::vector<int8_t> out(1800);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = i / kSampleRate;
        const double tone = std::sin(2 * kPi * 185 * t) * std::exp(-t * 35);
        out[i] = clip8(110 * (0.75 * noise.next() * std::exp(-t * 16) + 0.5 * tone));
    }
    return out;
}

std::vector<int8_t> hat() {
    Noise noise;
    noise.state = 0x2545F491u;
    std::vector<int8_t> out(600);
    double previous = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = i / kSampleRate;
        const double n = noise.next();
        out[i] = clip8(90 * (n - previous) * 0.5 * std::exp(-t * 55));  // a first difference: brighter
        previous = n;
    }
    return out;
}

std::vector<SampleDef> samples() {
    return {
        // A soft square: odd harmonics falling away. 32 frames per cycle: middle C at period 428.
        {"lead square", cycle(32, {1, 0, 0.30, 0, 0.15, 0, 0.07}, 110), 44, true},
        // A mellow saw for the chords.
        {"chord saw", cycle(32, {1, 0.45, 0.25, 0.14, 0.08}, 110), 30, true},
        // A round bass an octave below: 64 frames per cycle.
        {"bass", cycle(64, {1, 0.5, 0.2, 0.1}, 120), 58, true},
        {"kick", kick(), 64, false},
        {"snare", snare(), 50, false},
        {"hat", hat(), 40, false},
    };
}

// ---------------------------------------------------------------- notes and patterns

// Plain periods of three octaves, as trackers of the MOD family write them.
constexpr std::array<uint16_t, 36> kPeriods = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,  // octave 1
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,  // octave 2
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,  // octave 3
};

// "A-2", "C#3" -> period.
uint16_t note(std::string_view name) {
    static constexpr std::string_view kNames[] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                  "F#", "G-", "G#", "A-", "A#", "B-"};
    for (int n = 0; n < 12; ++n) {
        if (name.substr(0, 2) == kNames[n]) return kPeriods[(name[2] - '1') * 12 + n];
    }
    std::fprintf(stderr, "bad note %.*s\n", static_cast<int>(name.size()), name.data());
    std::abort();
}

enum Instrument : uint8_t { kNone = 0, kLead = 1, kChord = 2, kBass = 3, kKick = 4, kSnare = 5, kHat = 6 };

struct Cell {
    uint16_t period = 0;
    uint8_t sample = 0;
    uint8_t effect = 0;
    uint8_t param = 0;
};

using Pattern = std::array<std::array<Cell, kChannels>, kRows>;

void put(Pattern& p, int row, int channel, std::string_view name, uint8_t sample, uint8_t effect = 0,
         uint8_t param = 0) {
    p[row][channel] = Cell{name.empty() ? uint16_t{0} : note(name), sample, effect, param};
}

void effect(Pattern& p, int row, int channel, uint8_t effect, uint8_t param) {
    p[row][channel].effect = effect;
    p[row][channel].param = param;
}

constexpr int kDrums = 0, kBassCh = 1, kChords = 2, kLeadCh = 3;

struct Chord {
    const char* root;    // for the chord channel
    uint8_t arpeggio;    // 0x37 minor, 0x47 major
    const char* bass;    // low root
    const char* bassUp;  // the octave above
};
constexpr std::array<Chord, 4> kProgression = {{
    {"A-2", 0x37, "A-1", "A-2"},
    {"F-2", 0x47, "F-1", "F-2"},
    {"C-3", 0x47, "C-2", "C-3"},
    {"G-2", 0x47, "G-1", "G-2"},
}};

// Chords: a note on every beat, the arpeggio on every row so it keeps cycling.
void chords(Pattern& p) {
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = kProgression[bar];
        for (int r = 0; r < 16; ++r) {
            const int row = bar * 16 + r;
            if (r % 4 == 0) {
                put(p, row, kChords, c.root, kChord, 0x0, c.arpeggio);
            } else {
                effect(p, row, kChords, 0x0, c.arpeggio);
            }
        }
    }
}

// Bass: a syncopated root with the octave above at the end of each bar; short notes cut early.
void bass(Pattern& p, bool staccato) {
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = kProgression[bar];
        const int base = bar * 16;
        for (int r : {0, 3, 6, 8, 11}) {
            put(p, base + r, kBassCh, c.bass, kBass);
            if (staccato || r == 3 || r == 11) effect(p, base + r, kBassCh, 0xE, 0xC4);  // note cut on tick 4
        }
        put(p, base + 14, kBassCh, c.bassUp, kBass, 0xE, 0xC3);
    }
}

// Drums: kick on beats 1 and 3, snare on 2 and 4, hats between at two levels.
void drums(Pattern& p, bool full) {
    for (int beat = 0; beat < 16; ++beat) {
        const int row = beat * 4;
        if (beat % 2 == 0) {
            put(p, row, kDrums, "C-2", kKick);
        } else if (full) {
            put(p, row, kDrums, "C-2", kSnare);
        }
        put(p, row + 2, kDrums, "C-3", kHat, 0xC, beat % 2 ? 0x28 : 0x18);
        if (full && beat % 4 == 3) put(p, row + 3, kDrums, "C-3", kHat, 0xC, 0x10);
    }
}

struct LeadNote {
    int row;
    const char* name;
    uint8_t effect = 0;
    uint8_t param = 0;
};

// Lead: notes with the sample (full volume), then vibrato on the rows they are held.
void lead(Pattern& p, std::initializer_list<LeadNote> notes, uint8_t vibrato = 0x44) {
    std::vector<LeadNote> list(notes);
    for (size_t i = 0; i < list.size(); ++i) {
        const LeadNote& n = list[i];
        // Tone portamento slides from the sounding note and must not restart the sample.
        put(p, n.row, kLeadCh, n.name, n.effect == 0x3 ? kNone : kLead, n.effect, n.param);
        const int end = i + 1 < list.size() ? list[i + 1].row : kRows;
        if (n.effect == 0x3 && n.row + 1 < end) effect(p, n.row + 1, kLeadCh, 0x3, 0x00);  // slide on
        for (int r = n.row + 2; r < end; ++r) effect(p, r, kLeadCh, 0x4, vibrato);
    }
}

Pattern intro() {
    Pattern p{};
    effect(p, 0, kLeadCh, 0xF, 0x06);  // speed 6
    chords(p);
    bass(p, true);
    drums(p, false);
    return p;
}

Pattern verse() {
    Pattern p{};
    chords(p);
    bass(p, false);
    drums(p, true);
    lead(p, {{0, "E-3"},
             {8, "D-3"},
             {10, "C-3"},
             {12, "D-3"},
             {14, "E-3"},
             {16, "F-3"},
             {22, "E-3"},
             {24, "C-3"},
             {30, "A-2"},
             {32, "G-3"},
             {38, "E-3"},
             {40, "C-3"},
             {44, "E-3"},
             {46, "G-3"},
             {48, "D-3"},
             {56, "B-2"},
             {58, "G-2"},
             {60, "A-2"}});
    // The last note fades out.
    for (int r = 61; r < 64; ++r) effect(p, r, kLeadCh, 0xA, 0x04);
    return p;
}

Pattern chorus() {
    Pattern p{};
    chords(p);
    bass(p, false);
    drums(p, true);
    lead(p,
         {{0, "C-3"},
          {2, "E-3", 0x3, 0x20},
          {8, "D-3"},
          {10, "C-3"},
          {12, "B-2"},
          {14, "C-3"},
          {16, "A-2"},
          {20, "C-3"},
          {22, "F-3"},
          {28, "E-3"},
          {30, "C-3"},
          {32, "E-3"},
          {34, "G-3", 0x3, 0x18},
          {40, "E-3"},
          {42, "D-3"},
          {44, "C-3"},
          {46, "E-3"},
          {48, "D-3"},
          {56, "G-2"},
          {58, "D-3", 0x3, 0x30}},
         0x56);
    return p;
}

Pattern breakdown() {
    Pattern p{};
    chords(p);
    bass(p, true);
    for (int bar = 0; bar < 4; ++bar) put(p, bar * 16, kDrums, "C-2", kKick);
    // A snare roll into the next section: retriggered every 3 ticks, then every 2.
    put(p, 56, kDrums, "C-2", kSnare, 0xE, 0x93);
    put(p, 60, kDrums, "C-2", kSnare, 0xE, 0x92);
    // Long lead notes that swell down, one slide up into the last bar.
    lead(p, {{0, "A-2"}, {16, "C-3"}, {32, "E-3"}, {48, "G-2"}, {50, "D-3", 0x3, 0x10}}, 0x34);
    for (int r : {8, 9, 10, 11, 24, 25, 26, 27, 40, 41, 42, 43}) effect(p, r, kLeadCh, 0xA, 0x02);
    return p;
}

Pattern outro() {
    Pattern p{};
    chords(p);
    bass(p, false);
    drums(p, true);
    lead(p, {{0, "E-3"}, {8, "D-3"}, {10, "C-3"}, {12, "B-2"}, {14, "C-3"}, {16, "A-2"}});
    // The last bar: one A minor chord that fades out, then the song breaks off after row 47.
    for (int r = 32; r < kRows; ++r) p[r] = {};
    put(p, 32, kDrums, "C-2", kKick);
    put(p, 32, kBassCh, "A-1", kBass);
    put(p, 32, kChords, "A-2", kChord, 0x0, 0x37);
    put(p, 32, kLeadCh, "E-3", kLead);
    for (int r = 33; r < 36; ++r) effect(p, r, kChords, 0x0, 0x37);
    for (int r = 33; r < 48; ++r) {
        effect(p, r, kBassCh, 0xA, 0x01);
        effect(p, r, kLeadCh, 0xA, 0x01);
        if (r >= 36) effect(p, r, kChords, 0xA, 0x01);
    }
    effect(p, 47, kDrums, 0xD, 0x00);
    return p;
}

// ---------------------------------------------------------------- MOD writer

void putText(std::vector<uint8_t>& out, std::string_view text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

std::vector<uint8_t> writeMod(const std::vector<SampleDef>& defs, const std::vector<Pattern>& patterns,
                              const std::vector<uint8_t>& orders) {
    std::vector<uint8_t> out;
    putText(out, "tarvex demo", 20);
    for (size_t i = 0; i < 31; ++i) {
        if (i >= defs.size()) {
            putText(out, "", 22);
            put16(out, 0);
            out.push_back(0);
            out.push_back(0);
            put16(out, 0);
            put16(out, 1);
            continue;
        }
        const SampleDef& s = defs[i];
        putText(out, s.name, 22);
        put16(out, static_cast<uint32_t>(s.data.size() / 2));
        out.push_back(0);  // finetune
        out.push_back(s.volume);
        put16(out, 0);  // loop start
        put16(out, s.looped ? static_cast<uint32_t>(s.data.size() / 2) : 1);
    }
    out.push_back(static_cast<uint8_t>(orders.size()));
    out.push_back(127);
    for (size_t i = 0; i < 128; ++i) out.push_back(i < orders.size() ? orders[i] : 0);
    putText(out, "M.K.", 4);
    for (const Pattern& p : patterns) {
        for (const auto& row : p) {
            for (const Cell& c : row) {
                out.push_back(static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
                out.push_back(static_cast<uint8_t>(c.period));
                out.push_back(static_cast<uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F)));
                out.push_back(c.param);
            }
        }
    }
    for (const SampleDef& s : defs) {
        for (int8_t v : s.data) out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "examples/demo.mod";
    const std::vector<Pattern> patterns = {intro(), verse(), chorus(), breakdown(), outro()};
    const std::vector<uint8_t> orders = {0, 1, 2, 3, 1, 2, 4};
    const std::vector<uint8_t> bytes = writeMod(samples(), patterns, orders);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::fprintf(stderr, "compose-demo: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    return 0;
}
