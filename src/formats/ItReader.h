// Reader of Impulse Tracker modules (extension "IT", "IMPM" at offset 0).
//
// Layout: a 192-byte header (title, counts, version words, flags, volumes, speed and tempo, the
// message's place, 64 channel pannings and 64 channel volumes), the order list, then tables of
// 32-bit offsets to the instruments, the samples' headers and the patterns; after the tables an
// edit history (special bit 1: a count and 8 bytes each) and the MIDI configuration (special bit
// 3: 4896 bytes). Everything else lies where its offset says.
//
// What the model gets:
// - the orders as the song plays them: skip markers (254) dropped, the list ended at the first
//   end marker (255); Bxx counts positions in that list (its parameter lowered by the markers
//   dropped before its target); orders naming a pattern the file lacks get an empty one of 64 rows;
// - channelCount from the highest channel any pattern uses; each channel's panning and volume as
//   the header gives them (kChannelMuted kept), gains 0..1024 from the panning (surround and mono
//   files centred; a mono file's channel pannings centred as well);
// - instruments in instrument mode only (new format from Cmwt 0x200, the old one before it), the
//   note map naming the one flat sample list; envelope values 0..64 (panning and pitch +32);
// - samples as signed 16-bit frames (8-bit v as v * 256, unsigned data centred), a stereo sample
//   as the average of its two halves, packed samples unpacked (ItCompression.h); loops and sustain
//   loops only when their flag is on and start < end <= length;
// - cells with xmNote (IT note + 1, or kItNoteOff, kItNoteCut, kItNoteFade), the note's period
//   on the PeriodTable with C-5 at 428 (the sample's C5Speed is its rate at C-5), the instrument
//   (or sample) number, the volume column as a VolumeCommand and the effect letter as itEffect.
//
// Untrusted files stay in bounds as with the XM reader: what lies past the end is not there
// (code 1 with the bytes missing as the file's own sizes and offsets show them), values out of
// range are clamped or the feature they belong to is turned off (code 4), allocation is capped
// in proportion to the file's size, and pattern walking too. Refuses (code 2) a file without the
// mark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/ByteReader.h"
#include "model/Module.h"

namespace tarvex {

bool loadIt(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
            std::string_view extension);

// "IMPM" at offset 0, the mark the dispatcher goes by.
bool hasItMark(ByteReader& file);

// The command and parameter of an IT volume-column byte.
struct ItVolumeColumn {
    uint8_t command;
    uint8_t param;
};
ItVolumeColumn mapItVolumeColumn(uint8_t byte);

// What a MIDI macro does to the filter: "F0F000z" (cutoff) and "F0F001z" (resonance) take the
// parameter (parametric), "F0F000xx" and "F0F001xx" a fixed value 0..127; spaces and letter case
// do not count. Anything else is kMacroNone.
struct ItMacro {
    FixedMacro macro;
    bool parametric = false;
};
ItMacro parseItMacro(std::string_view text);

// The program that wrote the file, from Cwt/v (and the header's reserved word, where one tracker
// puts its date): "Impulse Tracker 2.14", "Schism Tracker 2011-01-01", "OpenMPT 1.29", or
// "Cwt/v 0x6123" for a value no known tracker writes.
std::string itWriterOf(uint16_t cwt, uint32_t reserved);

}  // namespace tarvex
