#include "audio/WavFile.h"

namespace tarvex {

namespace {

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
}

void putTag(uint8_t* at, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(tag[i]);
}

}  // namespace

std::array<uint8_t, kWavHeaderBytes> wavHeader(const PcmFormat& format, uint32_t dataBytes) {
    std::array<uint8_t, kWavHeaderBytes> h{};
    putTag(&h[0], "RIFF");
    put32(&h[4], 36 + dataBytes + wavPadBytes(dataBytes));
    putTag(&h[8], "WAVE");
    putTag(&h[12], "fmt ");
    put32(&h[16], 16);  // size of the fmt chunk
    put16(&h[20], 1);   // PCM
    put16(&h[22], format.channels);
    put32(&h[24], format.rate);
    put32(&h[28], format.bytesPerSecond());
    put16(&h[32], format.blockAlign());
    put16(&h[34], format.bits);
    putTag(&h[36], "data");
    put32(&h[40], dataBytes);
    return h;
}

}  // namespace tarvex
