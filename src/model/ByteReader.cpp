#include "model/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace tarvex {

void ByteReader::seek(int64_t offset) {
    position_ = std::clamp<int64_t>(offset, 0, size());
}

uint8_t ByteReader::readByte() {
    if (position_ >= size()) return 0;
    return bytes_[static_cast<size_t>(position_++)];
}

void ByteReader::read(uint8_t* out, size_t count) {
    const size_t available = static_cast<size_t>(remaining());
    const size_t copied = std::min(count, available);
    if (copied > 0) std::memcpy(out, bytes_.data() + position_, copied);
    if (count > copied) std::memset(out + copied, 0, count - copied);
    position_ += static_cast<int64_t>(copied);
}

uint16_t ByteReader::readLittleEndian16() {
    const uint16_t low = readByte();
    const uint16_t high = readByte();
    return static_cast<uint16_t>(low | (high << 8));
}

uint32_t ByteReader::readLittleEndian32() {
    const uint32_t low = readLittleEndian16();
    const uint32_t high = readLittleEndian16();
    return low | (high << 16);
}

uint16_t readBigEndian16(ByteReader& file) {
    const uint16_t high = file.readByte();
    const uint16_t low = file.readByte();
    return static_cast<uint16_t>((high << 8) | low);
}

uint32_t readBigEndian32(ByteReader& file) {
    const uint32_t high = readBigEndian16(file);
    const uint32_t low = readBigEndian16(file);
    return (high << 16) | low;
}

uint8_t convertTextByte(uint8_t byte) {
    if (byte >= 1 && byte <= 31) return 0x20;
    switch (byte) {
        case 0x84:
            return 0xE4;  // a umlaut
        case 0x94:
            return 0xF6;  // o umlaut
        case 0x81:
            return 0xFC;  // u umlaut
        case 0x8E:
            return 0xC4;  // A umlaut
        case 0x99:
            return 0xD6;  // O umlaut
        case 0x9A:
            return 0xDC;  // U umlaut
        case 0xE1:
            return 0xDF;  // sharp s
        default:
            return byte;
    }
}

void readText(ByteReader& file, size_t count, char* out) {
    file.read(reinterpret_cast<uint8_t*>(out), count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<char>(convertTextByte(static_cast<uint8_t>(out[i])));
    }
    out[count] = 0;
}

}  // namespace tarvex
