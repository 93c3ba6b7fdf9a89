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
//
// IT cells too: note C-0..B-9, "^^^" note cut, "===" note off, "~~~" note fade; instrument (or
// sample, in sample mode) in hex; the volume column in decimal; the effect letter and its
// parameter in hex:
//   "C-5 01v64 A06 | "   "^^^ ..p32 ... | "   "... 03a05 SB1 | "
// Volume column: vNN volume, pNN panning (both 0..64), aN / bN slide up / down, cN / dN fine slide
// up / down, eN / fN pitch down / up, gN tone portamento, hN vibrato (N as 0N, 0..9); " .." none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/Module.h"

namespace tarvex {

inline constexpr std::string_view kEmptyCellText = "... .. .. ... | ";

// The name of note index 0..119 as XM and IT show it: "C-0" .. "B-9"; "???" past B-9.
std::string noteNameOfIndex(uint32_t index);

// "%02X " filled with row.
std::string formatRowPrefix(uint32_t row);

// The text of one NoteCell: note name (PeriodTable entry octave * 12 + note, "..." without a
// period), sample "%02X" or "..", volume "v%02X" or " ..", effect "%1.1X%1.1X%1.1X" (effect, high
// and low nibble of param) or "..." when both are 0. formatType kFormatXm and kFormatIt give
// their own forms.
std::string formatCell(const NoteCell& cell, uint8_t formatType = kFormatMod);

// Lines for rows firstRow..rowsOf(p) - 1 of pattern p (none when p is not below patternCount). The cells are
// walked in list order: a position takes the cell the walk has reached only when row and channel
// match, so of two cells at one position the first shows and the walk stalls at the second,
// leaving it and every later cell of the pattern empty.
std::vector<std::string> formatPatternLines(const Module& module, uint32_t pattern, uint32_t firstRow = 0);

}  // namespace tarvex
