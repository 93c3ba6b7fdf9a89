#include "FuzzSupport.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "audio/Player.h"
#include "core/EffectCodes.h"
#include "engine/PlayerSettings.h"

namespace tarvex {

namespace {

bool itNoteKnown(uint8_t note) {
    return note <= kItLastNote || note == kItNoteFade || note == kItNoteCut || note == kItNoteOff;
}

constexpr std::string_view kExtensions[5] = {"MOD", "S3M", "STM", "XM", "IT"};
constexpr uint32_t kResolutions[4] = {8, 16, 24, 16};
constexpr uint32_t kMaxEighths = 80;
constexpr uint32_t kMaxRate = 192000;

// A voice plays one of the module's samples, or one of the copies the XM and IT players make of
// them (unrolled ping-pong loops, sustain loops).
bool pointsIntoSamples(const Player& player, const Sample* sample) {
    if (sample == nullptr) return true;
    const auto within = [sample](const std::vector<Sample>& samples) {
        return !samples.empty() && sample >= samples.data() && sample < samples.data() + samples.size();
    };
    return within(player.module->samples) || within(player.xm.unrolled) || within(player.it.copies);
}

std::string checkPlayer(const Player& player) {
    const Module& module = *player.module;
    if (player.channels.size() != module.channelCount) return "channel array differs from channelCount";
    for (const ChannelState& channel : player.channels) {
        if (!pointsIntoSamples(player, channel.sample)) return "channel sample outside the module";
        if (!pointsIntoSamples(player, channel.pendingSample)) return "pending sample outside the module";
    }
    // IT's background notes sound through voices of their own.
    for (const ItBackground& background : player.it.pool) {
        if (!pointsIntoSamples(player, background.voice.sample))
            return "background sample outside the module";
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

    input.extension = kExtensions[header[0] % std::size(kExtensions)];
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
    // XM cells may carry the XM codes, IT cells only IT's letters (or none); every other format
    // stays within the engine's handlers.
    const bool it = m.formatType == kFormatIt;
    const uint32_t effectEnd = m.formatType == kFormatXm ? kXmEffectEnd : it ? kItEffectEnd : kEffectCount;
    const uint8_t lastVolumeCommand = it ? kVolumeItVibrato : kVolumeTonePorta;
    for (uint32_t p = 0; p < m.patterns.size(); ++p) {
        const Pattern& pattern = m.patterns[p];
        const uint32_t rows = rowsOf(m, p);
        if (rows < 1 || rows > kMaxRowsPerPattern) return "row count outside 1..256";
        for (size_t i = 0; i < pattern.size(); ++i) {
            const NoteCell& b = pattern[i];
            if (b.row >= rows) return "cell row beyond its pattern";
            if (b.channel >= m.channelCount) return "cell channel beyond channelCount";
            if (b.effect >= effectEnd) return "effect code without a meaning";
            if (it && b.effect != 0 && b.effect < kItEffectA) return "IT cell with a code of another format";
            if (b.volumeCommand > lastVolumeCommand) return "volume command without a meaning";
            if (it && !itNoteKnown(b.xmNote)) return "IT note without a meaning";
            if (it && b.volumeCommand == kVolumeSet && b.volumeParam > 64) return "IT volume above 64";
            if (it && b.volumeCommand == kVolumeItPanning && b.volumeParam > 64) return "IT panning above 64";
            if (i > 0) {
                const NoteCell& a = pattern[i - 1];
                if (a.row > b.row || (a.row == b.row && a.channel > b.channel)) return "cells out of order";
            }
        }
    }
    // XM envelopes hold up to 12 points, IT ones up to 25, each point and loop within the count.
    const uint32_t points = it ? kEnvelopePoints : kXmEnvelopePoints;
    for (const Instrument& instrument : m.instruments) {
        for (const Envelope* envelope : {&instrument.volume, &instrument.panning, &instrument.pitch}) {
            if (envelope->count > points) return "envelope of more points than the format has";
            if (!it) continue;
            if (envelope->on && envelope->count == 0) return "IT envelope on without points";
            if (envelope->loopOn &&
                (envelope->loopStart > envelope->loopEnd || envelope->loopEnd >= envelope->count))
                return "IT envelope loop outside its points";
            if (envelope->sustainOn &&
                (envelope->sustain > envelope->sustainEnd || envelope->sustainEnd >= envelope->count))
                return "IT envelope sustain loop outside its points";
        }
        // IT keys keep a sample number the file lacks (such a key ends the note), up to a byte.
        const uint32_t lastSample = it ? 255 : m.sampleCount;
        for (uint16_t s : instrument.sampleOfNote) {
            if (s > lastSample) return "note map beyond the samples";
        }
        if (it) {
            for (uint8_t note : instrument.noteOfNote) {
                if (note >= kItLastNote) return "IT key playing a note past B-9";
            }
            if (instrument.newNoteAction > kNnaNoteFade || instrument.duplicateCheck > kDctInstrument ||
                instrument.duplicateAction > kDcaNoteFade)
                return "IT new-note action without a meaning";
            if (instrument.globalVolume > 128 || instrument.defaultPanning > 64 || instrument.fadeout > 1024)
                return "IT instrument level out of range";
        }
    }
    if (it) {
        if (!m.instruments.empty() && !m.instrumentMode) return "IT instruments in sample mode";
        if (m.channelPanning.size() != m.channelVolume.size() || m.channelPanning.size() < m.channelCount)
            return "IT channel settings differ from the channels";
        for (const uint8_t volume : m.channelVolume) {
            if (volume > 64) return "IT channel volume above 64";
        }
        for (const uint8_t pan : m.channelPanning) {
            if ((pan & 127) > 64 && (pan & 127) != kChannelSurround)
                return "IT channel panning without a meaning";
        }
        if (m.initialGlobalVolume > 128 || m.mixVolume > 128 || m.panSeparation > 128)
            return "IT song volume above 128";
        for (const Sample& s : m.samples) {
            if (s.sustainEnd > s.length || (s.sustainEnd != 0 && s.sustainStart >= s.sustainEnd))
                return "sustain loop beyond the sample";
            if (s.globalVolume > 64 || s.vibratoType > 3) return "IT sample setting out of range";
        }
    }
    if (moduleFootprint(m) > moduleFootprintLimit(fileSize))
        return "module footprint above 64 x file size + 1 MiB";
    return {};
}

}  // namespace tarvex
