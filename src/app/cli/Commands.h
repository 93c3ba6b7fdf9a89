// The commands of tarvex-cli. A command is one function in its own file, listed once in the
// table of CliMain.cpp; it gets the arguments after its name and returns the exit status
// (0 success, 1 a file failed, 2 a usage error). What a command says about itself lives in
// manual/ManualText.cpp, which the manual page is made from as well.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::cli {

using CommandArgs = std::vector<std::string>;
using CommandFunction = int (*)(const CommandArgs& args, std::ostream& out, std::ostream& err);

struct Command {
    std::string_view name;
    CommandFunction run;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// "tarvex-cli COMMAND --help", and the usage line with a pointer to it for a usage error.
std::string helpText(std::string_view command);
std::string usageText(std::string_view command);

// tarvex-cli info [--json] [--patterns] FILE...
int infoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
// tarvex-cli play [options] FILE...
int playCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
// tarvex-cli preview [options] FILE SAMPLE [--note NAME]
int previewCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// tarvex-cli render [options] FILE [-o OUT.wav]
int renderCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

}  // namespace tarvex::cli
