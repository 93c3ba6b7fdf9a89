#include "ui/PatternFormat.h"

#include <cstdio>

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

}  // namespace

std::string formatRowPrefix(uint32_t row) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X ", row);
    return text;
}

std::string formatCell(const NoteCell& cell) {
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
    for (uint32_t row = 0; row < kRowsPerPattern; ++row) {
        std::string line = formatRowPrefix(row);
        for (uint32_t channel = 0; channel < module.channelCount; ++channel) {
            const bool here = walk < cells.size() && cells[walk].row == row && cells[walk].channel == channel;
            if (here) {
                if (row >= firstRow) line += formatCell(cells[walk]);
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
