// The seven status texts of the "Player Data" group, from what the sequencer and the mixer leave
// behind. Read without locks while the audio side writes: a stale value only shows as such.
#pragma once

#include <string>

#include "audio/Player.h"

namespace tarvex {

struct StatusTexts {
    std::string cpu;      // "CPU": renderMillis * 800 / BufferLength, "%u%%" (3 ms of 25 ms: "12%")
    std::string index;    // "Index": nextOrder and songLength, "%02X/%02X" ("0A/10")
    std::string pattern;  // "Pattern": currentPattern, "%02X"
    std::string row;      // "Row": "%02X"
    std::string bpm;      // "BPM": tempo, "%u"
    std::string speed;    // "Speed": "%u"
    std::string time;     // "Time": playTime in whole seconds, "%2u:%02u" (" 0:05", "61:01")
};

StatusTexts statusTexts(const Player& player);

}  // namespace tarvex
