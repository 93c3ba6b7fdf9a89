#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "model/ByteReader.h"

namespace tarvex {
namespace {

TEST(ByteReader, NumbersAndTheEndOfTheFile) {
    const std::vector<uint8_t> bytes = {0x12, 0x34, 0x56, 0x78, 0x9A};
    ByteReader file(bytes);
    EXPECT_EQ(readBigEndian32(file), 0x12345678u);
    file.seek(0);
    EXPECT_EQ(file.readLittleEndian32(), 0x78563412u);
    file.seek(3);
    EXPECT_EQ(readBigEndian16(file), 0x789Au);
    // Past the end every byte reads as zero and the position stays at the end.
    file.seek(4);
    EXPECT_EQ(readBigEndian32(file), 0x9A000000u);
    EXPECT_EQ(file.position(), 5);
    EXPECT_EQ(file.readLittleEndian16(), 0u);

    uint8_t out[4] = {1, 1, 1, 1};
    file.seek(3);
    file.read(out, 4);
    EXPECT_EQ(out[0], 0x78);
    EXPECT_EQ(out[1], 0x9A);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 0);

    // Seeks never leave the file.
    file.seek(-10);
    EXPECT_EQ(file.position(), 0);
    file.seek(1'000'000);
    EXPECT_EQ(file.position(), 5);
    EXPECT_EQ(file.remaining(), 0);
}

TEST(ByteReader, TextConversion) {
    const std::vector<uint8_t> bytes = {'a', 0x09, 0x81, 0x84, 0x94, 0x8E, 0x99, 0x9A, 0xE1, 0x1F, 0xFF, 'z'};
    ByteReader file(bytes);
    Text<40> text;
    readText(file, bytes.size(), text);
    EXPECT_EQ(text.view(), "a \xFC\xE4\xF6\xC4\xD6\xDC\xDF \xFFz");
    EXPECT_EQ(file.position(), 12);

    // A zero ends the text; the bytes after it are still consumed.
    const std::vector<uint8_t> early = {'a', 'b', 0, 'c', 'd', 'e'};
    ByteReader second(early);
    readText(second, 4, text);
    EXPECT_EQ(text.view(), "ab");
    EXPECT_EQ(second.position(), 4);

    // Past the end the text simply stops.
    readText(second, 8, text);
    EXPECT_EQ(text.view(), "de");
}

// A file of `size` bytes whose byte n is n mod 251, counting what is read of it.
class CountingSource : public ByteSource {
   public:
    explicit CountingSource(int64_t size) : size_(size) {}
    int64_t size() const override { return size_; }
    size_t readAt(int64_t offset, uint8_t* out, size_t count) override {
        const size_t n =
            static_cast<size_t>(std::clamp<int64_t>(size_ - offset, 0, static_cast<int64_t>(count)));
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<uint8_t>((offset + static_cast<int64_t>(i)) % 251);
        bytesRead += n;
        return n;
    }
    int64_t size_;
    size_t bytesRead = 0;
};

TEST(ByteReader, AFileSourceIsReadOnlyWhereTheReaderLooks) {
    CountingSource source(int64_t{4} << 30);
    ByteReader file(source);
    EXPECT_EQ(file.size(), int64_t{4} << 30);
    EXPECT_EQ(source.bytesRead, 0u) << "the length needs no reading";

    // Across the edge of the read window, byte by byte and in one read.
    const int64_t edge = static_cast<int64_t>(kReadWindowBytes);
    file.seek(edge - 2);
    EXPECT_EQ(readBigEndian32(file), (uint32_t((edge - 2) % 251) << 24) | (uint32_t((edge - 1) % 251) << 16) |
                                         (uint32_t(edge % 251) << 8) | uint32_t((edge + 1) % 251));
    std::vector<uint8_t> block(3 * kReadWindowBytes);
    file.seek(5);
    file.read(block.data(), block.size());
    for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], (5 + i) % 251) << i;

    // Far into the file and at its very end.
    file.seek((int64_t{4} << 30) - 1);
    EXPECT_EQ(file.readByte(), ((int64_t{4} << 30) - 1) % 251);
    EXPECT_EQ(file.readByte(), 0);
    EXPECT_LE(source.bytesRead, 6 * kReadWindowBytes);
}

TEST(ByteReader, AFileThatReadsShorterThanItsLengthEndsWhereTheReadsEnd) {
    struct Shrunk : CountingSource {
        Shrunk() : CountingSource(1000) {}
        int64_t size() const override { return 5000; }  // said before the file was cut
    } source;
    ByteReader file(source);
    file.seek(998);
    EXPECT_EQ(readBigEndian32(file), (uint32_t(998 % 251) << 24) | (uint32_t(999 % 251) << 16));
    EXPECT_EQ(file.size(), 1000);
    EXPECT_EQ(file.position(), 1000);
}

}  // namespace
}  // namespace tarvex
