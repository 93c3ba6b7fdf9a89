// Printing the module's Latin-1 texts on a UTF-8 terminal and in JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvex::cli {

// Each byte is a Latin-1 character: bytes from 0x80 become two UTF-8 bytes ("\xE4" -> "ä").
std::string latin1ToUtf8(std::string_view latin1);

// A JSON string literal, quotes included, of a UTF-8 text; control characters are escaped.
std::string jsonString(std::string_view utf8);

// Pads a UTF-8 text with blanks to width characters (code points), or cuts nothing when longer.
std::string padRight(std::string_view utf8, size_t width);

}  // namespace tarvex::cli
