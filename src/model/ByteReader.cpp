#include "model/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace tarvex {

ByteReader::ByteReader(std::span<const uint8_t> bytes)
    : window_(bytes.data()),
      windowSize_(static_cast<int64_t>(bytes.size())),
      size_(static_cast<int64_t>(bytes.size())) {}

ByteReader::ByteReader(ByteSource& source) : source_(&source), size_(std::max<int64_t>(0, source.size())) {}

void ByteReader::seek(int64_t offset) {
    position_ = std::clamp<int64_t>(offset, 0, size_);
}

bool ByteReader::moveWindow(int64_t offset) {
    if (source_ == nullptr || offset >= size_) return false;
    buffer_.resize(kReadWindowBytes);
    const size_t wanted = static_cast<size_t>(std::min<int64_t>(kReadWindowBytes, size_ - offset));
    const size_t got = source_->readAt(offset, buffer_.data(), wanted);
    // A file that reads shorter than its length (cut while open, a read error) ends there.
    if (got < wanted) size_ = offset + static_cast<int64_t>(got);
    window_ = buffer_.data();
    windowStart_ = offset;
    windowSize_ = static_cast<int64_t>(got);
    return got > 0;
}

uint8_t ByteReader::readByteOutsideWindow() {
    if (position_ >= size_ || !moveWindow(position_)) return 0;
    return window_[position_++ - windowStart_];
}

void ByteReader::read(uint8_t* out, size_t count) {
    while (count > 0) {
        const int64_t at = position_ - windowStart_;
        if (at < 0 || at >= windowSize_) {
            if (position_ >= size_ || !moveWindow(position_)) break;
            continue;
        }
        const size_t copied =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), windowSize_ - at));
        std::memcpy(out, window_ + at, copied);
        out += copied;
        count -= copied;
        position_ += static_cast<int64_t>(copied);
    }
    if (count > 0) std::memset(out, 0, count);
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

uint32_t readSigned8Frames(ByteReader& file, Sample& sample, int64_t available) {
    cutToFrames(sample, static_cast<uint64_t>(std::max<int64_t>(available, 0)));
    for (int16_t& frame : sample.data)
        frame = static_cast<int16_t>(static_cast<int8_t>(file.readByte()) * 256);
    return sample.length;
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
