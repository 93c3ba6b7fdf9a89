// tarvex-cli: headless access to Tarvex. `tarvex-cli COMMAND ARGS...`, `--help`, `--version`.
#include <iostream>
#include <span>

#include "cli/Commands.h"
#include "core/Version.h"
#include "manual/Manual.h"

namespace {

using tarvex::cli::Command;

// Every command of tarvex-cli; their texts are in the manual's description of tarvex-cli.
constexpr Command kCommands[] = {
    {"info", tarvex::cli::infoCommand},
    {"play", tarvex::cli::playCommand},
    {"preview", tarvex::cli::previewCommand},
    {"render", tarvex::cli::renderCommand},
};

void printHelp(std::ostream& out) {
    out << tarvex::manual::programHelp(tarvex::manual::cliPage());
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv + 1, static_cast<size_t>(argc > 0 ? argc - 1 : 0));
    if (args.empty()) {
        printHelp(std::cerr);
        return tarvex::cli::kExitUsage;
    }
    const std::string_view name = args[0];
    if (name == "--help" || name == "-h") {
        printHelp(std::cout);
        return tarvex::cli::kExitOk;
    }
    if (name == "--version") {
        std::cout << tarvex::kVersion << '\n';
        return tarvex::cli::kExitOk;
    }
    for (const Command& command : kCommands) {
        if (command.name == name) {
            const tarvex::cli::CommandArgs rest(args.begin() + 1, args.end());
            return command.run(rest, std::cout, std::cerr);
        }
    }
    std::cerr << "tarvex-cli: unknown command '" << name << "'\n\n";
    printHelp(std::cerr);
    return tarvex::cli::kExitUsage;
}
