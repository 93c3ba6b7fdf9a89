#include "MixRig.h"

namespace tarvex::test {

Sample makeSample(std::vector<int16_t> data, uint32_t loopStart, uint32_t loopEnd) {
    Sample sample;
    sample.length = static_cast<uint32_t>(data.size());
    sample.data = std::move(data);
    sample.loopStart = loopStart;
    sample.loopEnd = loopEnd;
    sample.baseFrequency = 8363;
    sample.volume = 64;
    return sample;
}

MixRig::MixRig(const MixRigOptions& options, std::vector<Sample> samples) {
    Module& module = player.createModule();
    module.channelCount = options.channelCount;
    module.globalVolume = options.globalVolume;
    module.samples = std::move(samples);
    module.sampleCount = static_cast<uint32_t>(module.samples.size());
    module.orders.assign(128, 0);
    module.songLength = 0;
    module.initialTempo = 125;
    module.initialSpeed = 6;
    setDefaultPanning(module);
    player.settings.Frequency = options.rate;
    player.settings.Resolution = options.bits;
    player.settings.Channels = options.outputChannels;
    player.settings.ISP = options.isp;
    player.settings.Click = options.click;
    player.settings.WideStereo = options.wide;
    player.settings.Clipping = options.clipping;
    startSong(player);
}

ChannelState& MixRig::play(uint32_t c, uint32_t s, uint32_t step, int32_t leftVolume, int32_t rightVolume) {
    ChannelState& channel = player.channels.at(c);
    channel.sample = &player.module->samples.at(s);
    channel.position = 0;
    channel.positionFraction = 0;
    channel.period = 428 * 16;
    channel.step = step;
    channel.leftVolume = leftVolume;
    channel.rightVolume = rightVolume;
    return channel;
}

std::vector<uint8_t> MixRig::render(uint32_t frames) {
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * player.mix.bytesPerFrame);
    renderFrames(player, bytes.data(), frames);
    return bytes;
}

std::vector<int32_t> decodeValues(const std::vector<uint8_t>& bytes, uint32_t bits) {
    std::vector<int32_t> values;
    const size_t width = bits / 8;
    for (size_t i = 0; i + width <= bytes.size(); i += width) {
        if (bits == 8) {
            values.push_back(static_cast<int32_t>(bytes[i]) - 128);
        } else if (bits == 16) {
            values.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        } else {
            const int32_t raw = bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16);
            values.push_back(raw >= 0x800000 ? raw - 0x1000000 : raw);
        }
    }
    return values;
}

std::vector<int32_t> MixRig::renderValues(uint32_t frames) {
    return decodeValues(render(frames), player.mix.outputBits);
}

}  // namespace tarvex::test
