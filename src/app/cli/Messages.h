// The lines tarvex-cli writes about files and devices. Every error and warning line starts with
// "tarvex-cli COMMAND: "; the program's own texts (load results, device messages) stay exactly as
// the window shows them, and the system's reason follows them in parentheses.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "formats/Loader.h"

namespace tarvex {
class Player;
}

namespace tarvex::cli {

// "File not found (is a directory)"; the text alone when there is no reason.
std::string withReason(std::string_view text, std::string_view reason);

// The load result of path: a failed load as an error line, a loaded module whose result is not
// "No Errors" as a warning line ("tarvex-cli render: a.mod: warning: Mod too short for 100 Bytes"),
// nothing otherwise.
void reportLoad(std::ostream& err, std::string_view command, const std::string& path,
                const LoadOutcome& outcome);

// A device message with the device's reason ("Error: Failed to inititialize DirectSound (no audio
// device: ...; try --device null)"); the hint is given for the system's own device only.
std::string deviceMessage(std::string_view text, const Player& player, bool hintNullDevice);

}  // namespace tarvex::cli
