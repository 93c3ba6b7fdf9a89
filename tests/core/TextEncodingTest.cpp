// Text that must be valid UTF-8 whatever bytes it came from (JSON): a table of byte strings,
// whether they are valid, and what each becomes with its invalid bytes replaced.
#include <gtest/gtest.h>

#include "core/TextEncoding.h"

namespace tarvex {
namespace {

TEST(TextEncoding, InvalidUtf8IsReplacedByteByByte) {
    struct Row {
        std::string bytes;
        bool valid;
        std::string replaced;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const std::vector<Row> rows = {
        {"", true, ""},
        {"song.mod", true, "song.mod"},
        {"s\xC3\xA4nger.mod", true, "s\xC3\xA4nger.mod"},  // ä
        {"\xF0\x9F\x8E\xB5", true, "\xF0\x9F\x8E\xB5"},    // a four-byte character
        {"s\xE4nger", false, "s" + fffd + "nger"},         // Latin-1 ä
        {"\xFF\xFE", false, fffd + fffd},
        {"\x80x", false, fffd + "x"},                            // a stray continuation byte
        {"\xC3", false, fffd},                                   // cut short at the end
        {"\xC0\xAF", false, fffd + fffd},                        // overlong '/'
        {"\xED\xA0\x80", false, fffd + fffd + fffd},             // a surrogate
        {"\xF4\x90\x80\x80", false, fffd + fffd + fffd + fffd},  // above U+10FFFF
        {"a\xE2\x82z", false, "a" + fffd + fffd + "z"},          // a sequence broken off
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(isValidUtf8(row.bytes), row.valid);
        EXPECT_EQ(replaceInvalidUtf8(row.bytes), row.replaced);
        EXPECT_TRUE(isValidUtf8(replaceInvalidUtf8(row.bytes)));
    }
}

}  // namespace
}  // namespace tarvex
