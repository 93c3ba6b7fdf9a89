// What the two programs say about themselves: one description per program, from which both the
// --help texts and the manual pages (tarvex.1, tarvex-cli.1, written at build time by
// tarvex-manual) are made, so the two cannot tell different stories.
//
// Texts are plain UTF-8. A text holds paragraphs separated by "\n"; the --help formatter wraps
// them at kHelpWidth columns, the manual page leaves the filling to the man formatter.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarvex::manual {

inline constexpr size_t kHelpWidth = 79;

// An option, a key, an exit status, a variable or a file: the term and what it means.
struct Item {
    std::string_view term;
    std::string_view text;
};

// One command of a program with commands (tarvex-cli).
struct CommandPage {
    std::string_view name;
    std::string_view usage;    // what follows the name: "[OPTIONS] FILE [-o OUT.wav]"
    std::string_view summary;  // one line for the program's list of commands
    std::string_view description;
    std::span<const Item> options;  // the command's own options
    bool outputOptions = false;     // also takes the output and mixer options
    bool deviceOptions = false;     // also takes the device options
    std::span<const Item> keys;     // keys on a terminal while it plays
};

// A section of its own (KEYS, EXIT STATUS, ENVIRONMENT, FILES, ...), in page order.
struct Section {
    std::string_view title;
    std::string_view text;  // before the items, may be empty
    std::span<const Item> items;
    bool inHelp = false;  // also printed by the program's --help
};

struct Page {
    std::string_view name;     // the executable
    std::string_view purpose;  // the NAME line: "name - purpose"
    std::span<const std::string_view> synopsis;
    std::string_view description;
    std::span<const Item> options;
    std::span<const CommandPage> commands;
    std::span<const Section> sections;
    std::span<const std::string_view> seeAlso;
};

// The options every command that plays or renders takes, with their defaults.
std::span<const Item> outputOptions();
std::span<const Item> deviceOptions();

const Page& cliPage();
const Page& windowPage();
// The command of tarvex-cli called name; nullptr when there is none.
const CommandPage* findCommand(std::string_view name);

// "--help" of a program: synopsis, description, options, its commands' summaries, and the
// sections marked inHelp.
std::string programHelp(const Page& page);
// "COMMAND --help": usage, description, options (its own and the shared groups) and keys.
std::string commandHelp(const Page& page, const CommandPage& command);
// The usage lines alone, for a usage error.
std::string commandUsage(const Page& page, const CommandPage& command);
// Option lines as --help shows them: the term at column 2, the text from column 21, wrapped.
std::string helpItems(std::span<const Item> items);

// The manual page in man(7) form. version as "Tarvex 1.5"'s number, date as YYYY-MM-DD.
std::string manPage(const Page& page, std::string_view version, std::string_view date);

}  // namespace tarvex::manual
