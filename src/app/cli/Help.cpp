#include "cli/Commands.h"
#include "manual/Manual.h"

namespace tarvex::cli {

std::string helpText(std::string_view command) {
    const manual::CommandPage* page = manual::findCommand(command);
    return page != nullptr ? manual::commandHelp(manual::cliPage(), *page) : std::string();
}

std::string usageText(std::string_view command) {
    const manual::CommandPage* page = manual::findCommand(command);
    if (page == nullptr) return std::string();
    return manual::commandUsage(manual::cliPage(), *page) + "`tarvex-cli " + std::string(command) +
           " --help` lists the options.\n";
}

}  // namespace tarvex::cli
