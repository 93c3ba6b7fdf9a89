// A bounds-checked byte source over a module file held in memory.
//
// Module files are untrusted: every read past the end delivers zero bytes (so a cut-off pattern
// reads as empty cells and a packed pattern runs into row ends), and a seek never leaves the file
// (it is clamped to 0..size). The position therefore always lies within 0..size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "model/Module.h"

namespace tarvex {

class ByteReader {
   public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    int64_t size() const { return static_cast<int64_t>(bytes_.size()); }
    int64_t position() const { return position_; }
    // Bytes left between the position and the end of the file.
    int64_t remaining() const { return size() - position_; }

    // Moves to offset, clamped into 0..size.
    void seek(int64_t offset);
    void skip(int64_t count) { seek(position_ + count); }

    uint8_t readByte();
    // Copies count bytes to out; the part beyond the end of the file is zero-filled.
    void read(uint8_t* out, size_t count);

    uint16_t readLittleEndian16();
    uint32_t readLittleEndian32();

   private:
    std::span<const uint8_t> bytes_;
    int64_t position_ = 0;
};

// Big-endian reads of the MOD family and of STM pattern cells: 0x12 0x34 reads as 0x1234.
uint16_t readBigEndian16(ByteReader& file);
uint32_t readBigEndian32(ByteReader& file);

// Converts one byte of a text field: 1..31 become a space, the German letters of code page 437
// become their Latin-1 forms (0x81 -> 0xFC, 0x84 -> 0xE4, ...), everything else stays.
uint8_t convertTextByte(uint8_t byte);

// Reads exactly count bytes, converts each with convertTextByte and stores a zero after them;
// out must hold count + 1 bytes. A zero byte ends the text early.
void readText(ByteReader& file, size_t count, char* out);

template <size_t N>
void readText(ByteReader& file, size_t count, Text<N>& out) {
    static_assert(N > 1);
    // Every field of every format fits its Text; a longer count would be a programming error.
    if (count >= N) {
        readText(file, N - 1, out.bytes);
        file.skip(static_cast<int64_t>(count - (N - 1)));
        return;
    }
    readText(file, count, out.bytes);
}

// Reads count bytes as they stand (a format tag), zero-terminated, without text conversion.
template <size_t N>
void readRawText(ByteReader& file, size_t count, Text<N>& out) {
    static_assert(N > 1);
    const size_t kept = count < N ? count : N - 1;
    file.read(reinterpret_cast<uint8_t*>(out.bytes), kept);
    out.bytes[kept] = 0;
    file.skip(static_cast<int64_t>(count - kept));
}

}  // namespace tarvex
