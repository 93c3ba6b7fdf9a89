// Reader of FastTracker 2 extended modules (extension "XM", "Extended Module: " at offset 0).
//
// Layout: a 60-byte head, then a header of its own declared size (counts, flags, tempo, the order
// table), then in version 0x0104 the patterns and after them each instrument followed by its
// samples' headers and data. Versions below 0x0104 store every instrument's headers first, then the
// patterns (whose row count is one byte, plus one, in 0x0102), then all sample data.
//
// What the model gets:
// - the instruments with their note-to-sample maps resolved into the flat sample list
//   (Module::samples: the samples of instrument 1, then those of instrument 2, ...);
// - sample data delta-decoded, 8-bit frames as v * 256 and 16-bit frames as they are, loops in
//   frames (ping-pong kept), a stereo sample's left channel; 8-bit data packed as a 16-byte table
//   of steps and a nibble per frame (reserved byte 0xAD) unpacked;
// - cells with the XM note (and its period on the PeriodTable, C-4 = 428, for the pattern text),
//   the instrument number in cell.sample, the volume column as a VolumeCommand and the effect in the
//   engine's numbering (XM's own commands from kFirstXmEffect on);
// - every channel centred (XM pans by instrument and sample, not by channel).
//
// Untrusted files stay in bounds:
// - declared header sizes are honoured (extra bytes skipped); one below what its fields need is
//   taken as that minimum, counts above the format's limits (32 channels, 256 patterns and orders,
//   128 instruments, 12 envelope points, 256 samples per instrument) are cut, rows above 256 are
//   cut and 0 rows read as 64: each of these gives code 4;
// - what lies past the end of the file is not there: instruments beyond it are empty ones (the
//   declared count is kept), samples whose headers lie beyond it are dropped, patterns beyond it
//   stay empty, sample data is cut; the result is code 1 with the bytes missing as far as the
//   file's own sizes show them (a file longer than it says is fine: trackers append their data);
// - orders naming a pattern the file does not store get an empty pattern of 64 rows;
// - what one load may allocate is capped in proportion to the file's size.
// Refuses (code 2) a file without the mark or with no channels.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/ByteReader.h"
#include "model/Module.h"

namespace tarvex {

bool loadXm(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
            std::string_view extension);

// "Extended Module: " at offset 0 (the letters in any case), the mark the dispatcher goes by.
bool hasXmMark(ByteReader& file);

// The engine effect and parameter of XM effect type (0..35: 0-9, A-Z) with its parameter; types
// the engine has no code for become no effect (0, 0).
struct XmEffect {
    uint8_t effect;
    uint8_t param;
};
XmEffect mapXmEffect(uint8_t type, uint8_t param);

// The command and parameter of a volume-column byte.
struct XmVolumeColumn {
    uint8_t command;
    uint8_t param;
};
XmVolumeColumn mapXmVolumeColumn(uint8_t byte);

}  // namespace tarvex
