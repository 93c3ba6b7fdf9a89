// Text lines of a pattern as the pattern window and `tarvex-cli info --patterns` show them.
//
// A line is the row prefix "%02X " and one 16-character cell per channel:
//   "C-4 01v40 A0F | "  note, blank, sample, volume, blank, effect, blank, bar, blank
//   "... .. .. ... | "  a position without a NoteCell
// An effect code of 16 or more prints as two hex digits and widens its cell by one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/Module.h"

namespace tarvex {

inline constexpr std::string_view kEmptyCellText = "... .. .. ... | ";

// "%02X " filled with row.
std::string formatRowPrefix(uint32_t row);

// The text of one NoteCell: note name (PeriodTable entry octave * 12 + note, "..." without a
// period), sample "%02X" or "..", volume "v%02X" or " ..", effect "%1.1X%1.1X%1.1X" (effect, high
// and low nibble of param) or "..." when both are 0.
std::string formatCell(const NoteCell& cell);

// Lines for rows firstRow..63 of pattern p (none when p is not below patternCount). The cells are
// walked in list order: a position takes the cell the walk has reached only when row and channel
// match, so of two cells at one position the first shows and the walk stalls at the second,
// leaving it and every later cell of the pattern empty.
std::vector<std::string> formatPatternLines(const Module& module, uint32_t pattern, uint32_t firstRow = 0);

}  // namespace tarvex
