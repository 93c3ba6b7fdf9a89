#include "FuzzSupport.h"

#include <algorithm>
#include <string>

#include "audio/Player.h"
#include "core/EffectCodes.h"
#include "engine/PlayerSettings.h"

namespace tarvex {

namespace {

constexpr std::string_view kExtensions[4] = {"MOD", "S3M", "STM", "XM"};
constexpr uint32_t kResolutions[4] = {8, 16, 24, 16};
constexpr uint32_t kMaxEighths = 80;
constexpr uint32_t kMaxRate = 192000;

// A voice plays one of the module's samples, or one of the player's unrolled ping-pong loops.
bool pointsIntoSamples(const Player& player, const Sample* sample) {
    if (sample == nullptr) return true;
    const auto within = [sample](const std::vector<Sample>& samples) {
        return !samples.empty() && sample >= samples.data() && sample < samples.data() + samples.size();
    };
    return within(player.module->samples) || within(player.xm.unrolled);
}

std::string checkPlayer(const Player& player) {
    const Module& module = *player.module;
    if (player.channels.size() != module.channelCount) return "channel array differs from channelCount";
    for (const ChannelState& channel : player.channels) {
        if (!pointsIntoSamples(player, channel.sample)) return "channel sample outside the module";
        if (!pointsIntoSamples(player, channel.pendingSample)) return "pending sample outside the module";
    }
    if (player.mix.mixDivisor.load(std::memory_order_relaxed) < 1) return "mixDivisor below 1";
    return {};
}

}  // namespace

PlayInput decodePlayInput(std::span<const uint8_t> data) {
    PlayInput input;
    uint8_t header[kPlayHeaderSize] = {};
    const size_t headerBytes = std::min(data.size(), kPlayHeaderSize);
    std::copy_n(data.begin(), headerBytes, header);
    input.file = data.subspan(headerBytes);

    input.extension = kExtensions[header[0] % 4];
    if (header[1] & 0x80) {
        input.rate = std::min<uint32_t>(8000 + (header[1] & 0x7F) * 1449u, kMaxRate);
    } else {
        input.rate = kSampleRates[header[1] % kSampleRates.size()];
    }
    input.bits = kResolutions[header[2] & 3];
    input.channels = (header[2] & 4) ? 1 : 2;
    input.bufferLength = kBufferLengthsMs[((header[2] >> 3) & 15) % kBufferLengthsMs.size()];
    input.eighths = 1 + header[3] % kMaxEighths;
    for (uint32_t p = 0; p < kPlayPhases; ++p) {
        const uint8_t options = header[4 + 2 * p];
        PlayPhase& phase = input.phases[p];
        phase.isp = options & 1;
        phase.click = options & 2;
        phase.wide = options & 4;
        phase.clipping = options & 8;
        phase.loops = options & 16;
        phase.rewinding = options & 32;
        phase.fastForward = options & 64;
        phase.restart = options & 128;
        phase.preamp = 1 + header[5 + 2 * p] * 4u;
    }
    return input;
}

std::vector<uint8_t> encodePlayHeader(const PlayInput& input) {
    std::vector<uint8_t> header(kPlayHeaderSize, 0);
    header[0] = static_cast<uint8_t>(
        std::find(std::begin(kExtensions), std::end(kExtensions), input.extension) - std::begin(kExtensions));
    const auto rate = std::find(kSampleRates.begin(), kSampleRates.end(), input.rate);
    header[1] = rate != kSampleRates.end()
                    ? static_cast<uint8_t>(rate - kSampleRates.begin())
                    : static_cast<uint8_t>(0x80 | std::min<uint32_t>((input.rate - 8000) / 1449, 127));
    const uint8_t resolution = input.bits == 8 ? 0 : input.bits == 24 ? 2 : 1;
    const auto buffer = std::find(kBufferLengthsMs.begin(), kBufferLengthsMs.end(), input.bufferLength);
    const uint8_t bufferIndex =
        buffer != kBufferLengthsMs.end() ? static_cast<uint8_t>(buffer - kBufferLengthsMs.begin()) : 0;
    header[2] = static_cast<uint8_t>(resolution | (input.channels == 1 ? 4 : 0) | (bufferIndex << 3));
    header[3] = static_cast<uint8_t>((std::clamp<uint32_t>(input.eighths, 1, kMaxEighths) - 1));
    for (uint32_t p = 0; p < kPlayPhases; ++p) {
        const PlayPhase& phase = input.phases[p];
        header[4 + 2 * p] = static_cast<uint8_t>(
            phase.isp | phase.click << 1 | phase.wide << 2 | phase.clipping << 3 | phase.loops << 4 |
            phase.rewinding << 5 | phase.fastForward << 6 | phase.restart << 7);
        header[5 + 2 * p] =
            static_cast<uint8_t>(std::min<uint32_t>((std::max<uint32_t>(phase.preamp, 1) - 1) / 4, 255));
    }
    return header;
}

void applyPhase(Player& player, const PlayPhase& phase) {
    PlayerSettings& settings = player.settings;
    settings.ISP.store(phase.isp, std::memory_order_relaxed);
    settings.Click.store(phase.click, std::memory_order_relaxed);
    settings.WideStereo.store(phase.wide, std::memory_order_relaxed);
    settings.Clipping.store(phase.clipping, std::memory_order_relaxed);
    settings.LoopsAllowed.store(phase.loops, std::memory_order_relaxed);
    setRewinding(player, phase.rewinding);
    setFastForward(player, phase.fastForward);
    const Module& module = *player.module;
    player.mix.mixDivisor.store(mixDivisorForPreamp(module.channelCount, module.globalVolume, phase.preamp),
                                std::memory_order_relaxed);
}

void startFuzzSong(Player& player, const PlayInput& input) {
    player.settings.Frequency = input.rate;
    player.settings.Resolution = input.bits;
    player.settings.Channels = input.channels;
    player.settings.BufferLength = input.bufferLength;
    startSong(player);
}

PlayReport playFuzzInput(Player& player, const PlayInput& input) {
    PlayReport report;
    player.freeModule();
    Module& module = player.createModule();
    report.outcome = loadModuleBytes(input.file, input.extension, module);
    if (!report.outcome.loaded) {
        player.freeModule();
        return report;
    }
    report.problem = checkLoadedModule(module, input.file.size());
    if (!report.problem.empty()) return report;

    startFuzzSong(player, input);

    const uint32_t segment =
        std::max<uint32_t>(segmentFramesFor(input.rate, input.bits, input.channels, input.bufferLength), 1);
    std::vector<uint8_t> buffer(static_cast<size_t>(segment) * player.mix.bytesPerFrame);
    const uint64_t total = uint64_t{input.rate} * input.eighths / 8;
    for (uint32_t p = 0; p < kPlayPhases; ++p) {
        const PlayPhase& phase = input.phases[p];
        if (phase.restart && p > 0) startSong(player);
        applyPhase(player, phase);
        const uint64_t end = p + 1 == kPlayPhases ? total : total * (p + 1) / kPlayPhases;
        while (report.framesRendered < end) {
            const uint32_t frames =
                static_cast<uint32_t>(std::min<uint64_t>(segment, end - report.framesRendered));
            renderFrames(player, buffer.data(), frames);
            report.framesRendered += frames;
            report.problem = checkPlayer(player);
            if (!report.problem.empty()) return report;
        }
    }
    releaseMixState(player);
    return report;
}

std::string checkLoadedModule(const Module& m, size_t fileSize) {
    if (m.samples.size() != m.sampleCount) return "samples differ from sampleCount";
    if (m.patterns.size() != m.patternCount) return "patterns differ from patternCount";
    if (m.panLeft.size() != m.channelCount || m.panRight.size() != m.channelCount)
        return "pan gains differ from channelCount";
    if (m.songLength > m.orders.size()) return "songLength beyond the order list";
    for (const Sample& s : m.samples) {
        if (s.data.size() != s.length) return "sample data differs from its length";
        if (s.loopEnd > s.length) return "loop end beyond the sample";
    }
    if (m.patternRows.size() > m.patternCount) return "row counts beyond the patterns";
    // XM cells may carry the XM codes; every other format stays within the engine's handlers.
    const uint32_t effectEnd = m.formatType == kFormatXm ? kXmEffectEnd : kEffectCount;
    for (uint32_t p = 0; p < m.patterns.size(); ++p) {
        const Pattern& pattern = m.patterns[p];
        const uint32_t rows = rowsOf(m, p);
        if (rows < 1 || rows > kMaxRowsPerPattern) return "row count outside 1..256";
        for (size_t i = 0; i < pattern.size(); ++i) {
            const NoteCell& b = pattern[i];
            if (b.row >= rows) return "cell row beyond its pattern";
            if (b.channel >= m.channelCount) return "cell channel beyond channelCount";
            if (b.effect >= effectEnd) return "effect code without a meaning";
            if (b.volumeCommand > kVolumeTonePorta) return "volume command without a meaning";
            if (i > 0) {
                const NoteCell& a = pattern[i - 1];
                if (a.row > b.row || (a.row == b.row && a.channel > b.channel)) return "cells out of order";
            }
        }
    }
    for (const Instrument& instrument : m.instruments) {
        if (instrument.volume.count > kEnvelopePoints || instrument.panning.count > kEnvelopePoints)
            return "envelope of more than 12 points";
        for (uint16_t s : instrument.sampleOfNote) {
            if (s > m.sampleCount) return "note map beyond the samples";
        }
    }
    if (moduleFootprint(m) > moduleFootprintLimit(fileSize))
        return "module footprint above 64 x file size + 1 MiB";
    return {};
}

}  // namespace tarvex
