// Text lines of a pattern as the pattern window and `tarvex-cli info --patterns` show them.
//
// A line is the row prefix "%02X " and one 16-character cell per channel:
//   "C-4 01v40 A0F | "  note, blank, sample, volume, blank, effect, blank, bar, blank
//   "... .. .. ... | "  a position without a NoteCell
// An effect code of 16 or more prints as two hex digits and widens its cell by one.
//
// XM cells keep the 16 characters: note C-0..B-7 ("===" releases the key), instrument, the volume
// column as a command of three characters and the effect in XM's letters:
//   "C-4 01v40 G20 | "   "=== ..v-3 X12 | "   "... 02p80 E91 | "
// Volume column: vXX set volume, v-x / v+x slide down / up, f-x / f+x fine slide down / up,
// ~sx / ~dx vibrato speed / depth, pXX set panning (00..F0), p<x / p>x panning slide left /
// right, tpx tone portamento; " .." none.
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
// and low nibble of param) or "..." when both are 0. formatType kFormatXm gives XM's form.
std::string formatCell(const NoteCell& cell, uint8_t formatType = kFormatMod);

// Lines for rows firstRow..rowsOf(p) - 1 of pattern p (none when p is not below patternCount). The cells are
// walked in list order: a position takes the cell the walk has reached only when row and channel
// match, so of two cells at one position the first shows and the walk stalls at the second,
// leaving it and every later cell of the pattern empty.
std::vector<std::string> formatPatternLines(const Module& module, uint32_t pattern, uint32_t firstRow = 0);

}  // namespace tarvex
