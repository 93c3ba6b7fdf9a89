// Module texts are Latin-1 bytes (after the readers' conversion); windows and terminals take UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// Each byte is a Latin-1 character: bytes from 0x80 become two UTF-8 bytes ("\xE4" -> "ä").
std::string latin1ToUtf8(std::string_view latin1);

}  // namespace tarvex
