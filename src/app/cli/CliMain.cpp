// tarvex-cli: headless access to Tarvex. `tarvex-cli COMMAND ARGS...`, `--help`, `--version`.
#include <iostream>
#include <span>

#include "cli/Commands.h"
#include "core/Version.h"

namespace {

using tarvex::cli::Command;

// Every command of tarvex-cli, one line each.
constexpr Command kCommands[] = {
    {"info", "[--json] [--patterns] FILE...", "show what each module file holds", tarvex::cli::infoCommand},
    {"render", "[OPTIONS] FILE [-o OUT.wav]", "render a module to a WAV file", tarvex::cli::renderCommand},
    {"play", "[options] FILE...", "play modules and list files through the sound device",
     tarvex::cli::playCommand},
    {"preview", "[options] FILE SAMPLE [--note NAME]", "play one sample of a module once",
     tarvex::cli::previewCommand},
};

void printHelp(std::ostream& out) {
    out << "Usage: tarvex-cli COMMAND [OPTIONS] [FILE...]\n"
           "       tarvex-cli --help | --version\n\nCommands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << ' ' << command.usage << "\n      " << command.summary << '\n';
    }
    out << "\n`tarvex-cli COMMAND --help` describes one command.\n";
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
