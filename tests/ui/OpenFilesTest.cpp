#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TextEncoding.h"
#include "support/Corpus.h"
#include "ui/ListFile.h"
#include "ui/OpenFiles.h"

namespace tarvex {
namespace {

TEST(CommandLine, FirstArgument) {
    struct Row {
        const char* line;
        const char* first;
    };
    const Row rows[] = {
        {"song.mod", "song.mod"},
        {"   song.mod  other.mod", "song.mod"},                         // leading blanks skipped
        {"\"C:\\My Music\\a b.mod\" second", "C:\\My Music\\a b.mod"},  // quoted blank, 2nd ignored
        {"\t\"x.mod\"", "x.mod"},
        {"a\"b c\"d e", "a\"b c\"d"},                    // inner quotes stay
        {"\"a b\"c d", "a b\"c"},                        // only the first quote goes
        {"\"unterminated quote", "unterminated quote"},  // runs to the end
        {"\"", ""},
        {"    ", ""},  // blanks give an empty path
        {"", ""},
    };
    for (const Row& row : rows) EXPECT_EQ(firstArgument(row.line), row.first) << row.line;
}

TEST(FileNames, ShownAsUtf8WithLatin1ForStrayBytes) {
    struct Row {
        const char* bytes;
        const char* shown;
    };
    const Row rows[] = {
        {"song.mod", "song.mod"},
        {"M\xC3\xBCsik.mod", "M\xC3\xBCsik.mod"},                  // UTF-8 stays
        {"M\xFCsik.mod", "M\xC3\xBCsik.mod"},                      // a Latin-1 byte
        {"\xE4\xC3\xA4.mod", "\xC3\xA4\xC3\xA4.mod"},              // both in one name
        {"\xF0\x9F\x8E\xB5.mod", "\xF0\x9F\x8E\xB5.mod"},          // four bytes
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},                          // three bytes, at the end
        {"\xE2\x82", "\xC3\xA2\xC2\x82"},                          // cut short at the end
        {"\xC3(", "\xC3\x83("},                                    // lead without continuation
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                          // overlong slash
        {"\xE0\x80\xAF", "\xC3\xA0\xC2\x80\xC2\xAF"},              // overlong, three bytes
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},              // a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // above U+10FFFF
        {"\xFF", "\xC3\xBF"},
        {"\x80x", "\xC2\x80x"},  // a stray continuation byte
    };
    for (const Row& row : rows) EXPECT_EQ(fileNameToUtf8(row.bytes), row.shown) << row.bytes;
}

TEST(ListFiles, FileNameAfterTheLastSeparator) {
    EXPECT_EQ(fileNameOf("C:\\mods\\a.mod"), "a.mod");
    EXPECT_EQ(fileNameOf("relative.mod"), "relative.mod");
#ifndef _WIN32
    EXPECT_EQ(fileNameOf("/home/u/mods/b.s3m"), "b.s3m");
#endif
}

// Every entry of a list file with the given text, in the order the window reads them.
std::vector<std::string> readAll(const std::string& text) {
    const auto path = test::writeTempFile("entries.lst", std::vector<uint8_t>(text.begin(), text.end()));
    ListFile list;
    EXPECT_TRUE(list.open(path.string()));
    std::vector<std::string> entries;
    while (list.isOpen()) entries.push_back(list.readNextEntry().value_or("<none>"));
    return entries;
}

TEST(ListFiles, EntriesLineByLine) {
    // Carriage returns vanish anywhere; an empty line is an entry; a final line feed adds none.
    EXPECT_EQ(readAll("a.mod\r\n\r\nb.mod\r\n"), (std::vector<std::string>{"a.mod", "", "b.mod"}));
    EXPECT_EQ(readAll("a\r.mod\nlast.mod"), (std::vector<std::string>{"a.mod", "last.mod"}));
    EXPECT_EQ(readAll(" spaced .mod \n"), (std::vector<std::string>{" spaced .mod "}));
    EXPECT_EQ(readAll(""), (std::vector<std::string>{""}));  // an empty list still yields one read
}

TEST(ListFiles, LongLinesSplitAt499Characters) {
    const std::string line(600, 'x');
    const auto entries = readAll(line + "\nnext.mod\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].size(), 499u);
    EXPECT_EQ(entries[1].size(), 101u);
    EXPECT_EQ(entries[2], "next.mod");
    // Exactly 499 characters and a line feed: the line feed still ends that entry.
    const auto exact = readAll(std::string(499, 'y') + "\nz.mod");
    EXPECT_EQ(exact, (std::vector<std::string>{std::string(499, 'y'), "", "z.mod"}));
}

TEST(ListFiles, MissingFileDoesNotOpen) {
    ListFile list;
    EXPECT_FALSE(list.open("/nonexistent/dir/songs.lst"));
    EXPECT_FALSE(list.isOpen());
    EXPECT_EQ(list.readNextEntry(), std::nullopt);
}

}  // namespace
}  // namespace tarvex
