// How paths reach the window: the command line's first argument, and the file name it shows.
// (List files are read by ui/ListFile.h.)
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// The first argument of a whole command line: leading blanks skipped; it runs to the first blank
// outside double quotes (each quote toggles); a quote at its first and one at its last position
// are removed, inner quotes stay. A line of blanks gives an empty path.
std::string firstArgument(std::string_view commandLine);

// The part of a path after its last separator, or the whole path when it has none. Backslash
// separates on every platform; the slash as well where the platform uses it.
std::string fileNameOf(std::string_view path);

}  // namespace tarvex
