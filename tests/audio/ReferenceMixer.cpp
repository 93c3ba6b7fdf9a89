#include "ReferenceMixer.h"

#include <algorithm>

namespace tarvex::test {

namespace {

int32_t limit24(int32_t x) {
    return std::clamp(x, -8388608, 8388607);
}

void put(uint8_t*& out, uint32_t bits, int32_t x) {
    if (bits == 8) {
        *out++ = static_cast<uint8_t>(((x >> 16) + 128) % 256);
    } else if (bits == 16) {
        const int32_t y = x >> 8;
        *out++ = static_cast<uint8_t>(y & 0xFF);
        *out++ = static_cast<uint8_t>((y >> 8) & 0xFF);
    } else {
        *out++ = static_cast<uint8_t>(x & 0xFF);
        *out++ = static_cast<uint8_t>((x >> 8) & 0xFF);
        *out++ = static_cast<uint8_t>((x >> 16) & 0xFF);
    }
}

int64_t absolute(int64_t x) {
    return x < 0 ? -x : x;
}

// One channel's contribution for this frame, or false when it is skipped.
bool channelValue(ChannelState& ch, bool isp, bool click, int32_t& out) {
    if (ch.position == -1 || ch.sample == nullptr || ch.period == 0) return false;
    const Sample& s = *ch.sample;
    const uint32_t length = std::min<uint32_t>(s.length, static_cast<uint32_t>(s.data.size()));
    if (length == 0) return false;
    const uint32_t loopEnd = std::min(s.loopEnd, length);
    const bool loops = s.loopEnd != 0 && s.loopStart < loopEnd;  // a degenerate loop plays as none
    uint32_t position = static_cast<uint32_t>(ch.position);
    if (position >= length) {  // beyond the data: the sample has ended
        ch.position = -1;
        return false;
    }

    int32_t v = s.data[position] * 4096;
    if (isp) {
        uint32_t n = position + 1;
        if (loops && n >= loopEnd) n = s.loopStart;
        const int32_t w = n < length ? s.data[n] * 4096 : 0;
        const int64_t product = static_cast<int64_t>(w - v) * static_cast<int64_t>(ch.positionFraction);
        v = static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(product >> 10));
    }
    if (click) {
        if (ch.noteStarted) {
            if (absolute(static_cast<int64_t>(v) - ch.lastMixValue) <= 4096000) {
                ch.noteStarted = false;
            } else {
                while (absolute(static_cast<int64_t>(v) - ch.lastMixValue) > 4096000) {
                    v = static_cast<int32_t>((static_cast<int64_t>(v) + ch.lastMixValue) >> 1);
                }
            }
        }
        ch.lastMixValue = v;
    }

    // Advance one whole frame at a time, as the rule is written.
    ch.positionFraction += ch.step;
    while (ch.positionFraction >= 1024) {
        ch.positionFraction -= 1024;
        position += 1;
        if (loops) {
            while (position >= loopEnd) position = position - loopEnd + s.loopStart;
        } else if (position >= length) {
            ch.position = -1;
            break;
        }
        ch.position = static_cast<int32_t>(position);
    }
    out = v;
    return true;
}

}  // namespace

void referenceRenderFrames(Player& player, uint8_t* buffer, uint32_t frameCount) {
    MixState& mix = player.mix;
    const uint32_t bits = mix.outputBits;
    const bool stereo = mix.outputChannels == 2;
    const int64_t globalVolume = player.module->globalVolume;
    uint8_t* out = buffer;
    for (uint32_t i = 0; i < frameCount; ++i) {
        const bool isp = player.settings.ISP;
        const bool click = player.settings.Click;
        const bool wide = player.settings.WideStereo;
        const bool clipping = player.settings.Clipping;
        const int64_t divisor = mix.mixDivisor;

        uint32_t left = 0;
        uint32_t right = 0;
        for (ChannelState& ch : player.channels) {
            int32_t v = 0;
            if (!channelValue(ch, isp, click, v)) continue;
            const int64_t gl = ch.leftVolume * globalVolume / 64;
            const int64_t gr = ch.rightVolume * globalVolume / 64;
            left += static_cast<uint32_t>(gl * v / divisor);
            right += static_cast<uint32_t>(gr * v / divisor);
        }
        int32_t l = static_cast<int32_t>(left);
        int32_t r = static_cast<int32_t>(right);
        if (isp) {
            l = static_cast<int32_t>((static_cast<int64_t>(l) + mix.ispMemoryLeft) >> 1);
            r = static_cast<int32_t>((static_cast<int64_t>(r) + mix.ispMemoryRight) >> 1);
            mix.ispMemoryLeft = l;
            mix.ispMemoryRight = r;
        }
        if (wide && stereo) {
            mix.wideDelayLeft[mix.wideWriteIndex] = l;
            mix.wideDelayRight[mix.wideWriteIndex] = r;
            mix.wideWriteIndex = (mix.wideWriteIndex + 1) % mix.wideDelayLength;
            r = static_cast<int32_t>(static_cast<uint32_t>(r) +
                                     static_cast<uint32_t>(mix.wideDelayLeft[mix.wideReadIndex] >> 1));
            l = static_cast<int32_t>(static_cast<uint32_t>(l) +
                                     static_cast<uint32_t>(mix.wideDelayRight[mix.wideReadIndex] >> 1));
            mix.wideReadIndex = (mix.wideReadIndex + 1) % mix.wideDelayLength;
        }
        l >>= 4;
        r >>= 4;
        if (!stereo) {
            int32_t x = static_cast<int32_t>(static_cast<uint32_t>(l) + static_cast<uint32_t>(r));
            if (clipping) x = limit24(x);
            if (i < mix.levelCapacity) {
                mix.levelLeft[i] = static_cast<int16_t>(x >> 8);
                mix.levelRight[i] = static_cast<int16_t>(x >> 8);
            }
            put(out, bits, x);
        } else {
            if (clipping) {
                l = limit24(l);
                r = limit24(r);
            }
            if (i < mix.levelCapacity) {
                mix.levelLeft[i] = static_cast<int16_t>(l >> 8);
                mix.levelRight[i] = static_cast<int16_t>(r >> 8);
            }
            put(out, bits, l);
            put(out, bits, r);
        }

        PlayerState& state = player.state;
        state.tickFrameCounter += (state.fastForward || state.rewinding) ? 16 : 1;
        if (state.tickFrameCounter >= state.samplesPerTick) {
            state.tickFrameCounter -= state.samplesPerTick;
            if (state.songEnded) {
                player.playbackFinished = true;
            } else {
                playTick(player);
            }
        }
    }
}

}  // namespace tarvex::test
