// What `tarvex-cli info` prints of one module, for a module already in memory.
#pragma once

#include <ostream>
#include <string>

#include "model/Module.h"

namespace tarvex::cli {

// Prints module as info prints a file at path that loaded without errors: its facts as text, or
// its JSON object (and a newline) with asJson; its patterns with withPatterns. The module is
// copied: timing it leaves it as it was.
void printModuleInfo(const Module& module, const std::string& path, bool asJson, bool withPatterns,
                     std::ostream& out);

}  // namespace tarvex::cli
