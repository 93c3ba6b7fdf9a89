// Runs a tarvex-cli command in-process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>

#include "cli/Commands.h"

namespace tarvex::test {

struct CommandRun {
    int status;
    std::string out, err;
};

inline CommandRun run(cli::CommandFunction command, const cli::CommandArgs& args) {
    std::ostringstream out, err;
    const int status = command(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace tarvex::test
