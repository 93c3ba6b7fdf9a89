// Printing the module's Latin-1 texts on a UTF-8 terminal and in JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/TextEncoding.h"

namespace tarvex::cli {

// A JSON string literal, quotes included, of a UTF-8 text; control characters are escaped, and a
// byte that is not part of valid UTF-8 becomes U+FFFD, so that the JSON is always valid.
std::string jsonString(std::string_view utf8);

// The bytes as lower-case hexadecimal digits, two per byte: "a.mod" -> "612e6d6f64".
std::string hexBytes(std::string_view bytes);

// Pads a UTF-8 text with blanks to width characters (code points), or cuts nothing when longer.
std::string padRight(std::string_view utf8, size_t width);

}  // namespace tarvex::cli
