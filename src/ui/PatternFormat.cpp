#include "ui/PatternFormat.h"

#include <cstdio>
#include <iterator>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"

namespace tarvex {

namespace {

std::string noteText(const NoteCell& cell) {
    if (cell.period == 0) return "...";
    const int index = cell.octave * 12 + cell.note;
    // A period too high for the table (below 14) has no entry: no name to show.
    if (index < 0 || index >= kPeriodCount) return "???";
    return std::string(PeriodTable[index].name, 3);
}

// XM names its notes with B, not the table's H, and counts octaves from its note 1 (C-0).
std::string xmNoteText(const NoteCell& cell) {
    if (cell.xmNote == kXmKeyOff) return "===";
    static constexpr char kLetters[12][3] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                             "F#", "G-", "G#", "A-", "A#", "B-"};
    const unsigned index = cell.xmNote - 1u;
    return std::string(kLetters[index % 12]) + char('0' + index / 12);
}

// The volume column: "v" and the volume set, "p" and the panning set (00..F0), or two characters
// naming the command and its parameter's digit.
std::string xmVolumeText(const NoteCell& cell) {
    static constexpr const char* kPrefixes[] = {nullptr, nullptr, "v-",    "v+", "f-", "f+",
                                                "~s",    "~d",    nullptr, "p<", "p>", "tp"};
    const unsigned x = cell.volumeParam;
    char text[16];
    if (cell.volumeCommand == kVolumeSet) {
        std::snprintf(text, sizeof text, "v%02X", x);
    } else if (cell.volumeCommand == kVolumeSetPanning) {
        std::snprintf(text, sizeof text, "p%02X", (x & 15) * 16);
    } else if (cell.volumeCommand < std::size(kPrefixes) && kPrefixes[cell.volumeCommand] != nullptr) {
        std::snprintf(text, sizeof text, "%s%X", kPrefixes[cell.volumeCommand], x & 15);
    } else {
        return " ..";
    }
    return text;
}

// XM's own letters for the codes from kFirstXmEffect on; 0..F print as the other formats do.
std::string xmEffectText(const NoteCell& cell) {
    // G H K L P R T, then X1 and X2, whose parameter is one digit.
    static constexpr char kLetters[] = "GHKLPRT";
    const unsigned param = cell.param;
    char text[16];
    if (cell.effect >= kSetGlobalVolume && cell.effect < kExtraFinePortamentoUp) {
        std::snprintf(text, sizeof text, "%c%02X", kLetters[cell.effect - kSetGlobalVolume], param);
    } else if (cell.effect == kExtraFinePortamentoUp || cell.effect == kExtraFinePortamentoDown) {
        std::snprintf(text, sizeof text, "X%c%X", cell.effect == kExtraFinePortamentoUp ? '1' : '2',
                      param & 15);
    } else if (cell.effect == 0 && cell.param == 0) {
        return "...";
    } else {
        // A code without an XM letter shows as the other formats show it.
        std::snprintf(text, sizeof text, "%1.1X%1.1X%1.1X", unsigned{cell.effect}, param >> 4, param & 15);
    }
    return text;
}

std::string formatXmCell(const NoteCell& cell) {
    const bool noted = cell.xmNote == kXmKeyOff || (cell.xmNote >= 1 && cell.xmNote <= kXmLastNote);
    char instrument[16] = "..";
    if (cell.sample != 0) std::snprintf(instrument, sizeof instrument, "%02X", cell.sample);
    return (noted ? xmNoteText(cell) : std::string("...")) + " " + instrument + xmVolumeText(cell) + " " +
           xmEffectText(cell) + " | ";
}

// IT notes 1..120 run C-0..B-9; its three ways of ending a note have marks of their own.
std::string itNoteText(const NoteCell& cell) {
    switch (cell.xmNote) {
        case kItNoteCut:
            return "^^^";
        case kItNoteOff:
            return "===";
        case kItNoteFade:
            return "~~~";
        default:
            break;
    }
    if (cell.xmNote == 0 || cell.xmNote > kItLastNote) return "...";
    return noteNameOfIndex(cell.xmNote - 1u);
}

// IT's volume column in decimal, as Impulse Tracker shows it: "v" and the volume, "p" and the
// panning, or the command's letter (lower case, a..h as in its effect list) and its 0..9.
std::string itVolumeText(const NoteCell& cell) {
    char letter = 0;
    switch (cell.volumeCommand) {
        case kVolumeSet:
            letter = 'v';
            break;
        case kVolumeItPanning:
            letter = 'p';
            break;
        case kVolumeSlideUp:
            letter = 'a';
            break;
        case kVolumeSlideDown:
            letter = 'b';
            break;
        case kVolumeFineUp:
            letter = 'c';
            break;
        case kVolumeFineDown:
            letter = 'd';
            break;
        case kVolumeItPortaDown:
            letter = 'e';
            break;
        case kVolumeItPortaUp:
            letter = 'f';
            break;
        case kVolumeItTonePorta:
            letter = 'g';
            break;
        case kVolumeItVibrato:
            letter = 'h';
            break;
        default:
            return " ..";
    }
    // Three characters whatever a damaged file holds.
    char text[16];
    if (cell.volumeParam < 100) {
        std::snprintf(text, sizeof text, "%c%02u", letter, unsigned{cell.volumeParam});
    } else {
        std::snprintf(text, sizeof text, "%c??", letter);
    }
    return text;
}

std::string itEffectText(const NoteCell& cell) {
    char text[16];
    if (cell.effect >= kItEffectA && cell.effect < kItEffectEnd) {
        std::snprintf(text, sizeof text, "%c%02X", char('A' + (cell.effect - kItEffectA)),
                      unsigned{cell.param});
    } else if (cell.effect == 0 && cell.param == 0) {
        return "...";
    } else {
        // A code without an IT letter shows as the other formats show it.
        std::snprintf(text, sizeof text, "%1.1X%1.1X%1.1X", unsigned{cell.effect}, unsigned{cell.param} >> 4,
                      unsigned{cell.param} & 15);
    }
    return text;
}

std::string formatItCell(const NoteCell& cell) {
    char instrument[16] = "..";
    if (cell.sample != 0) std::snprintf(instrument, sizeof instrument, "%02X", cell.sample);
    std::string text = itNoteText(cell);
    text += ' ';
    text += instrument;
    text += itVolumeText(cell);
    text += ' ';
    text += itEffectText(cell);
    text += " | ";
    return text;
}

}  // namespace

std::string noteNameOfIndex(uint32_t index) {
    if (index >= 120) return "???";
    static constexpr char kLetters[12][3] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                             "F#", "G-", "G#", "A-", "A#", "B-"};
    std::string text = kLetters[index % 12];
    text += char('0' + index / 12);
    return text;
}

std::string formatRowPrefix(uint32_t row) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X ", row);
    return text;
}

std::string formatCell(const NoteCell& cell, uint8_t formatType) {
    if (formatType == kFormatXm) return formatXmCell(cell);
    if (formatType == kFormatIt) return formatItCell(cell);
    char sample[16] = "..";
    if (cell.sample != 0) std::snprintf(sample, sizeof sample, "%02X", cell.sample);
    char volume[16] = " ..";
    if (cell.volume != -1) std::snprintf(volume, sizeof volume, "v%02X", static_cast<unsigned>(cell.volume));
    char effect[16] = "...";
    if (cell.effect != 0 || cell.param != 0) {
        std::snprintf(effect, sizeof effect, "%1.1X%1.1X%1.1X", unsigned{cell.effect},
                      unsigned{cell.param} >> 4, unsigned{cell.param} & 15);
    }
    return noteText(cell) + " " + sample + volume + " " + effect + " | ";
}

std::vector<std::string> formatPatternLines(const Module& module, uint32_t pattern, uint32_t firstRow) {
    std::vector<std::string> lines;
    if (pattern >= module.patternCount || pattern >= module.patterns.size()) return lines;
    const Pattern& cells = module.patterns[pattern];
    size_t walk = 0;
    const uint32_t rows = rowsOf(module, pattern);
    for (uint32_t row = 0; row < rows; ++row) {
        std::string line = formatRowPrefix(row);
        for (uint32_t channel = 0; channel < module.channelCount; ++channel) {
            const bool here = walk < cells.size() && cells[walk].row == row && cells[walk].channel == channel;
            if (here) {
                if (row >= firstRow) line += formatCell(cells[walk], module.formatType);
                ++walk;
            } else if (row >= firstRow) {
                line += kEmptyCellText;
            }
        }
        if (row >= firstRow) lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace tarvex
