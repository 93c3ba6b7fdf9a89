// A bounds-checked byte source over a module file, held in memory or read from disk on demand.
//
// Module files are untrusted: every read past the end delivers zero bytes (so a cut-off pattern
// reads as empty cells and a packed pattern runs into row ends), and a seek never leaves the file
// (it is clamped to 0..size). The position therefore always lies within 0..size.
//
// A file on disk is read through a window of kReadWindowBytes: only the parts a reader visits are
// ever read, and size() is the file's length, so a 4 GiB file costs no more than its header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/Module.h"

namespace tarvex {

inline constexpr size_t kReadWindowBytes = 64 * 1024;

// Random access to the bytes of a file that is not held in memory.
class ByteSource {
   public:
    virtual ~ByteSource() = default;
    virtual int64_t size() const = 0;
    // Copies up to count bytes from offset to out; returns how many it could read.
    virtual size_t readAt(int64_t offset, uint8_t* out, size_t count) = 0;
};

class ByteReader {
   public:
    explicit ByteReader(std::span<const uint8_t> bytes);
    // source must outlive the reader.
    explicit ByteReader(ByteSource& source);

    int64_t size() const { return size_; }
    int64_t position() const { return position_; }
    // Bytes left between the position and the end of the file.
    int64_t remaining() const { return size_ - position_; }

    // Moves to offset, clamped into 0..size.
    void seek(int64_t offset);
    void skip(int64_t count) { seek(position_ + count); }

    uint8_t readByte() {
        const int64_t at = position_ - windowStart_;
        if (at >= 0 && at < windowSize_) {
            ++position_;
            return window_[at];
        }
        return readByteOutsideWindow();
    }
    // Copies count bytes to out; the part beyond the end of the file is zero-filled.
    void read(uint8_t* out, size_t count);

    uint16_t readLittleEndian16();
    uint32_t readLittleEndian32();

   private:
    uint8_t readByteOutsideWindow();
    // Makes the window start at offset; false when there is nothing to read there.
    bool moveWindow(int64_t offset);

    ByteSource* source_ = nullptr;  // null: the bytes are all in memory, in the window
    std::vector<uint8_t> buffer_;   // the window's bytes for a source
    const uint8_t* window_ = nullptr;
    int64_t windowStart_ = 0;
    int64_t windowSize_ = 0;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// Big-endian reads of the MOD family and of STM pattern cells: 0x12 0x34 reads as 0x1234.
uint16_t readBigEndian16(ByteReader& file);
uint32_t readBigEndian32(ByteReader& file);

// A sample's signed 8-bit frames from the current position, each stored as v * 256, after the
// sample has been cut to the `available` frames (cutToFrames). Returns the frames read.
uint32_t readSigned8Frames(ByteReader& file, Sample& sample, int64_t available);

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
