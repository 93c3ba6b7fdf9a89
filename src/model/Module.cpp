#include "model/Module.h"

#include <algorithm>

namespace tarvex {

Module& createModule(std::unique_ptr<Module>& current) {
    current = std::make_unique<Module>();
    return *current;
}

void freeModule(std::unique_ptr<Module>& current) {
    current.reset();
}

uint32_t mixChannelsOf(const Module& module) {
    const uint32_t limit = module.rules.mixChannelLimit;
    return limit != 0 && module.channelCount > limit ? limit : module.channelCount;
}

FormatRules rulesOf(uint8_t formatType) {
    FormatRules rules;
    if (formatType == kFormatMod) return rules;
    if (formatType == kFormatIt) {
        rules.speedZeroEndsSong = false;
        rules.largeSpeedSetsTempo = false;
        rules.instrumentChannels = true;
        rules.impulseChannels = true;
        rules.rampStepsPerSecond = 22050;
        rules.gainBits = 8;
        rules.mixChannelLimit = 8;
        return rules;
    }
    if (formatType == kFormatXm) {
        rules.speedZeroEndsSong = false;
        rules.instrumentChannels = true;
        rules.gainBits = 8;
        rules.mixChannelLimit = 8;
        return rules;
    }
    rules.speedZeroEndsSong = false;
    rules.retriggerWholeParam = true;
    rules.patternLoopPerChannel = false;
    rules.largeSpeedSetsTempo = formatType != kFormatS3m;
    rules.fineVolumeSlides = formatType == kFormatS3m;
    return rules;
}

void setDefaultMacros(Module& module) {
    module.parametricMacros.fill(kMacroNone);
    module.parametricMacros[0] = kMacroCutoff;
    module.fixedMacros.fill(FixedMacro{});
    for (uint8_t i = 0; i < 16; ++i)
        module.fixedMacros[i] = FixedMacro{kMacroResonance, static_cast<uint8_t>(i * 8)};
}

void insertCell(Module& module, uint32_t patternIndex, const NoteCell& cell) {
    Pattern& pattern = module.patterns.at(patternIndex);
    // The cells are kept sorted, so the first cell that sorts after the new one (greater row, or
    // same row and greater channel) is its upper bound; equal positions keep their reading order.
    const auto before = [](const NoteCell& a, const NoteCell& b) {
        return a.row < b.row || (a.row == b.row && a.channel < b.channel);
    };
    // Readers deliver cells in order almost always: appending is the common case.
    if (pattern.empty() || !before(cell, pattern.back())) {
        pattern.push_back(cell);
        return;
    }
    pattern.insert(std::upper_bound(pattern.begin(), pattern.end(), cell, before), cell);
}

void normaliseLoop(Sample& sample) {
    if (sample.loopStart == sample.loopEnd || (sample.loopStart == 0 && sample.loopEnd == 2) ||
        sample.loopEnd == 0xFFFF) {
        sample.loopStart = 0;
        sample.loopEnd = 0;
        return;
    }
    if (sample.loopEnd > sample.length) sample.loopEnd = sample.length;
}

void cutToFrames(Sample& sample, uint64_t frames) {
    if (frames < sample.length) {
        sample.length = static_cast<uint32_t>(frames);
        normaliseLoop(sample);
    }
    sample.data.resize(sample.length);
}

void setDefaultPanning(Module& module) {
    module.panLeft.assign(module.channelCount, 0);
    module.panRight.assign(module.channelCount, 0);
    for (uint32_t c = 0; c < module.channelCount; ++c) {
        if (c % 3 == 0) {
            module.panLeft[c] = 1024;
        } else {
            module.panRight[c] = 1024;
        }
    }
}

size_t moduleFootprint(const Module& module) {
    size_t bytes = sizeof(Module);
    bytes += module.samples.capacity() * sizeof(Sample);
    for (const Sample& sample : module.samples) bytes += sample.data.capacity() * sizeof(int16_t);
    bytes += module.orders.capacity() * sizeof(uint32_t);
    bytes += (module.panLeft.capacity() + module.panRight.capacity()) * sizeof(int32_t);
    bytes += module.patterns.capacity() * sizeof(Pattern);
    for (const Pattern& pattern : module.patterns) bytes += pattern.capacity() * sizeof(NoteCell);
    bytes += module.patternRows.capacity() * sizeof(uint16_t);
    bytes += module.instruments.capacity() * sizeof(Instrument);
    bytes += module.channelPanning.capacity() + module.channelVolume.capacity();
    // A short message lives inside the record itself.
    if (module.message.capacity() > std::string().capacity()) bytes += module.message.capacity();
    return bytes;
}

}  // namespace tarvex
