#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tarvex
