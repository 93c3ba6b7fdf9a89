// Helpers for the streaming tests: a short song, the bytes an offline render gives for it, and a
// device and a timer the test drives by hand.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/Player.h"
#include "audio/Streaming.h"
#include "audio/devices/PullDevice.h"
#include "support/Corpus.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {

struct StreamOptions {
    uint32_t rate = 44100;
    uint32_t bits = 16;
    uint32_t channels = 2;
    uint32_t bufferLength = 200;  // 25 ms segments
    bool queued = false;
};

inline void applyOptions(Player& player, const StreamOptions& options) {
    player.settings.Frequency = options.rate;
    player.settings.Resolution = options.bits;
    player.settings.Channels = options.channels;
    player.settings.BufferLength = options.bufferLength;
    player.settings.UseWaveOut = options.queued;
}

// Four channels, speed 2: `rows` rows and then a pattern break ends the song (rows x 2 ticks of
// 882 frames at 44100 Hz: 25 rows last one second). A looped sample keeps sounding after the end.
inline ModuleBuilder shortSong(uint32_t rows = 25) {
    ModuleBuilder song(4);
    song.speed(2);
    song.sample({.length = 3000});
    song.sample({.length = 640, .volume = 40, .loopStart = 0, .loopEnd = 640});
    for (uint32_t row = 0; row < rows; row += 4) {
        song.cell(0, row, 0, {.period = 428, .sample = 1});
        song.cell(0, row + 2 < rows ? row + 2 : row, 1, {.period = 285, .sample = 2});
    }
    song.cell(0, 0, 2, {.period = 214, .sample = 2, .effect = 4, .param = 0x46});
    song.cell(0, rows - 1, 3, {.effect = 13, .param = 0});
    return song;
}

// Everything an offline render writes: frame by frame up to and including the frame on which
// playbackFinished is set, then `extraBytes` more of what the channels still sound.
inline std::vector<uint8_t> referenceRender(std::unique_ptr<Module> module, const StreamOptions& options,
                                            size_t extraBytes = 0, uint32_t preamp = kDefaultPreamp,
                                            bool wide = true) {
    Player player;
    player.module = std::move(module);
    applyOptions(player, options);
    player.settings.WideStereo = wide;

    startSong(player);
    player.mix.mixDivisor = mixDivisorForPreamp(mixChannelsOf(*player.module), player.module->globalVolume,
                                                preamp, player.module->rules.gainBits);
    const uint32_t frameBytes = player.mix.bytesPerFrame;
    std::vector<uint8_t> bytes;
    while (!player.playbackFinished.load()) {
        const uint32_t frames = framesToNextTick(player);
        const size_t at = bytes.size();
        bytes.resize(at + size_t{frames} * frameBytes);
        renderFrames(player, bytes.data() + at, frames);
    }
    const size_t at = bytes.size();
    bytes.resize(at + extraBytes / frameBytes * frameBytes);
    renderFrames(player, bytes.data() + at, static_cast<uint32_t>(extraBytes / frameBytes));
    return bytes;
}

inline std::vector<uint8_t> referenceRender(const ModuleBuilder& song, const StreamOptions& options,
                                            size_t extraBytes = 0) {
    return referenceRender(song.build(), options, extraBytes);
}

// A device without a thread: the test says when it plays, and it keeps what it played.
class ManualDevice final : public PullDevice {
   public:
    bool failOpen = false;
    bool failBuffers = false;
    bool playsPastTheEnd = false;  // as a device that cannot stop at the stream's end
    int opens = 0;
    int closes = 0;
    std::vector<uint8_t> played;

    ~ManualDevice() override { close(); }

    // The device takes `bytes` bytes, as it would while that much time passes.
    void play(uint32_t bytes) {
        std::vector<uint8_t> out(bytes);
        inPull_ = true;
        pull(out.data(), bytes);
        inPull_ = false;
    }
    // Whether segment k is queued, without letting time pass.
    bool isQueued(uint32_t k) { return PullDevice::segmentPlaying(k); }
    using PullDevice::running;

    bool createQueue(uint32_t count, uint32_t bytes) override {
        return !failBuffers && PullDevice::createQueue(count, bytes);
    }
    bool createRing(uint32_t bytes) override { return !failBuffers && PullDevice::createRing(bytes); }
    void endRingAt(uint32_t end) override {
        if (!playsPastTheEnd) PullDevice::endRingAt(end);
    }
    // Whoever waits for a queued segment lets time pass: a segment's worth per look.
    bool segmentPlaying(uint32_t index) override {
        if (!inPull_ && running() && PullDevice::segmentPlaying(index)) play(segmentBytes_);
        return PullDevice::segmentPlaying(index);
    }

   protected:
    bool openStream(const PcmFormat&, uint32_t segmentBytes) override {
        ++opens;
        segmentBytes_ = segmentBytes;
        return !failOpen;
    }
    void closeStream() override { ++closes; }
    void consumed(const uint8_t* data, uint32_t bytes) override {
        played.insert(played.end(), data, data + bytes);
    }

   private:
    uint32_t segmentBytes_ = 0;
    bool inPull_ = false;
};

// A timer that fires when the test says so.
class ManualTimer final : public PeriodicTimer {
   public:
    TimerHandler handler = nullptr;
    void* context = nullptr;
    bool running = false;
    int starts = 0;

    bool start(TimerHandler h, void* c) override {
        handler = h;
        context = c;
        running = true;
        ++starts;
        return true;
    }
    void kill() override { running = false; }
    void fire() {
        if (running) handler(context);
    }
};

// A player on a manual device and timer, with the song loaded.
struct ManualPlayer {
    explicit ManualPlayer(const ModuleBuilder& song, const StreamOptions& options = {}) {
        auto d = std::make_unique<ManualDevice>();
        auto t = std::make_unique<ManualTimer>();
        device = d.get();
        timer = t.get();
        player.device.backend = std::move(d);
        player.device.timer = std::move(t);
        player.module = song.build();
        applyOptions(player, options);
    }
    // The bytes of ring segment k as they stand.
    std::vector<uint8_t> ringSegment(uint32_t k) {
        const uint32_t bytes = player.device.segmentBytes;
        const uint8_t* p = device->lockRing(k * bytes, bytes);
        return std::vector<uint8_t>(p, p + bytes);
    }

    Player player;
    ManualDevice* device = nullptr;
    ManualTimer* timer = nullptr;
};

inline std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// The bytes of a WAV file's data chunk.
inline std::vector<uint8_t> wavData(const std::filesystem::path& path) {
    const std::vector<uint8_t> file = readFileBytes(path);
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const uint32_t size =
            file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 | uint32_t{file[at + 7]} << 24;
        if (std::string(file.begin() + at, file.begin() + at + 4) == "data") {
            return slice(file, at + 8, std::min<size_t>(size, file.size() - at - 8));
        }
        at += 8 + size;
    }
    return {};
}

// The four ways a start can fail, with the message each device kind reports (spelled out here, not
// taken from the program's constants, so a changed text is caught).
struct StartFailureCase {
    bool queued, failOpen;
    std::string_view message;
};
inline constexpr StartFailureCase kStartFailureCases[] = {
    {false, true, "Error: Failed to inititialize DirectSound"},
    {true, true, "Error: Failed to open wave out device"},
    {false, false, "Error: Failed to create a streaming secondary buffer (DirectSound)"},
    {true, false, "Error: Failed to create a streaming buffer (WaveOut)"},
};

}  // namespace tarvex::test
