#include "support/ModuleBuilder.h"

#include <algorithm>

#include "core/PitchTables.h"

namespace tarvex::test {

ModuleBuilder::ModuleBuilder(uint32_t channelCount) : module_(std::make_unique<Module>()) {
    module_->channelCount = channelCount;
    module_->initialTempo = 125;
    module_->initialSpeed = 6;
    module_->globalVolume = 64;
    module_->formatType = kFormatMod;
    setDefaultPanning(*module_);
}

ModuleBuilder& ModuleBuilder::format(uint8_t formatType) {
    module_->formatType = formatType;
    module_->rules = rulesOf(formatType);
    return *this;
}

ModuleBuilder& ModuleBuilder::tempo(uint32_t initialTempo) {
    module_->initialTempo = initialTempo;
    return *this;
}

ModuleBuilder& ModuleBuilder::speed(uint32_t initialSpeed) {
    module_->initialSpeed = initialSpeed;
    return *this;
}

ModuleBuilder& ModuleBuilder::sample(const SampleFields& fields) {
    Sample sample;
    sample.length = fields.length;
    sample.volume = fields.volume;
    sample.baseFrequency = fields.baseFrequency;
    sample.basePeriod = frequencyToBasePeriod(fields.baseFrequency);
    sample.finetune = fields.finetune;
    sample.loopStart = fields.loopStart;
    sample.loopEnd = fields.loopEnd;
    sample.data.assign(fields.length, 0);
    for (uint32_t i = 0; i < fields.length; ++i) sample.data[i] = static_cast<int16_t>((i % 64) * 256 - 8192);
    module_->samples.push_back(std::move(sample));
    module_->sampleCount = static_cast<uint32_t>(module_->samples.size());
    return *this;
}

ModuleBuilder& ModuleBuilder::patternCount(uint32_t count) {
    minPatterns_ = std::max(minPatterns_, count);
    return *this;
}

ModuleBuilder& ModuleBuilder::cell(uint32_t pattern, uint32_t row, uint32_t channel,
                                   const CellFields& fields) {
    if (module_->patterns.size() <= pattern) module_->patterns.resize(pattern + 1);
    module_->patternCount = static_cast<uint32_t>(module_->patterns.size());
    NoteCell cell;
    cell.row = row;
    cell.channel = channel;
    cell.period = fields.period;
    const int32_t index = noteIndex(fields.period);
    cell.note = static_cast<int8_t>(index < 0 ? -1 : index % 12);
    cell.octave = static_cast<int8_t>(index < 0 ? 0 : index / 12);
    cell.sample = fields.sample;
    cell.effect = fields.effect;
    cell.param = fields.param;
    cell.volume = fields.volume;
    insertCell(*module_, pattern, cell);
    return *this;
}

ModuleBuilder& ModuleBuilder::rows(uint32_t channel, const std::vector<CellFields>& cells) {
    for (uint32_t row = 0; row < cells.size(); ++row) {
        const CellFields& fields = cells[row];
        const bool empty = fields.period == 0 && fields.sample == 0 && fields.effect == 0 &&
                           fields.param == 0 && fields.volume == -1;
        if (!empty) cell(0, row, channel, fields);
    }
    return *this;
}

ModuleBuilder& ModuleBuilder::orders(std::vector<uint32_t> list) {
    orders_ = std::move(list);
    return *this;
}

ModuleBuilder& ModuleBuilder::songLength(uint32_t count) {
    songLength_ = count;
    return *this;
}

std::unique_ptr<Module> ModuleBuilder::build() const {
    auto module = std::make_unique<Module>(*module_);
    if (module->patterns.size() < minPatterns_) module->patterns.resize(minPatterns_);
    module->patternCount = static_cast<uint32_t>(module->patterns.size());
    module->orders = orders_;
    module->songLength =
        songLength_ < 0 ? static_cast<uint32_t>(orders_.size()) : static_cast<uint32_t>(songLength_);
    return module;
}

TestSong::TestSong(const ModuleBuilder& builder, uint32_t rate, bool loopsAllowed) {
    engine.module = builder.build();
    engine.settings.LoopsAllowed = loopsAllowed;
    stepper.start(rate);
}

std::vector<int64_t> TestSong::trace(uint32_t count, const std::function<int64_t(const ChannelState&)>& field,
                                     uint32_t channelIndex) {
    std::vector<int64_t> values;
    for (uint32_t i = 0; i < count && tick(); ++i) values.push_back(field(channel(channelIndex)));
    return values;
}

}  // namespace tarvex::test
