// Module texts are Latin-1 bytes (after the readers' conversion); windows and terminals take UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// Each byte is a Latin-1 character: bytes from 0x80 become two UTF-8 bytes ("\xE4" -> "ä").
std::string latin1ToUtf8(std::string_view latin1);

// A file name as the system's bytes give it, for display: valid UTF-8 (the file-name encoding
// here) stays as it is; any byte that does not belong to a valid UTF-8 sequence is read as
// Latin-1, so a name written on an older system still shows its letters.
std::string fileNameToUtf8(std::string_view bytes);

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// text with each byte that does not belong to a well-formed UTF-8 sequence replaced by U+FFFD:
// what must be valid UTF-8 whatever it holds (JSON).
std::string replaceInvalidUtf8(std::string_view bytes);

}  // namespace tarvex
