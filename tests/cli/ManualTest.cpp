// The descriptions --help and the manual pages are made from: every option they name is one the
// command takes, nothing is lost on the way to either form, and the man form is escaped.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/Commands.h"
#include "manual/Manual.h"

namespace tarvex {
namespace {

using manual::CommandPage;
using manual::Item;

cli::CommandFunction commandFunction(std::string_view name) {
    if (name == "info") return cli::infoCommand;
    if (name == "play") return cli::playCommand;
    if (name == "preview") return cli::previewCommand;
    if (name == "render") return cli::renderCommand;
    return nullptr;
}

// A value the documented placeholder stands for.
std::string sampleValue(std::string_view placeholder) {
    const size_t bar = placeholder.find('|');
    if (bar != std::string_view::npos) return std::string(placeholder.substr(0, bar));  // "on|off"
    const size_t dots = placeholder.find("..");
    if (dots != std::string_view::npos) return std::string(placeholder.substr(0, dots));  // "1..1024"
    if (placeholder == "HZ") return "48000";
    if (placeholder == "MS") return "50";
    if (placeholder == "S") return "3";
    if (placeholder == "NAME") return "null";
    // Never a system file: the module is missing, so nothing is written, but a fault would be.
    if (placeholder == "OUT.wav")
        return (std::filesystem::temp_directory_path() / "tarvex-manual-test.wav").string();
    if (placeholder == "N") return "1";
    if (placeholder == "TIME") return "1:30";
    if (placeholder == "LIST") return "1,3";
    return std::string(placeholder);
}

// The arguments for each spelling of an option term: "-o OUT.wav, --output OUT.wav" gives two.
std::vector<std::vector<std::string>> spellings(std::string_view term) {
    std::vector<std::vector<std::string>> all;
    while (!term.empty()) {
        const size_t comma = term.find(", ");
        std::string_view one = term.substr(0, comma);
        term = comma == std::string_view::npos ? std::string_view() : term.substr(comma + 2);
        const size_t blank = one.find(' ');
        std::vector<std::string> args{std::string(one.substr(0, blank))};
        if (blank != std::string_view::npos) args.push_back(sampleValue(one.substr(blank + 1)));
        all.push_back(args);
    }
    return all;
}

std::vector<Item> optionsOf(const CommandPage& command) {
    std::vector<Item> items(command.options.begin(), command.options.end());
    if (command.deviceOptions)
        items.insert(items.end(), manual::deviceOptions().begin(), manual::deviceOptions().end());
    if (command.outputOptions)
        items.insert(items.end(), manual::outputOptions().begin(), manual::outputOptions().end());
    return items;
}

TEST(Manual, EveryDocumentedOptionIsTakenAndOthersAreRefused) {
    const std::string missing = "no-such-module.mod";
    for (const CommandPage& command : manual::cliPage().commands) {
        const cli::CommandFunction run = commandFunction(command.name);
        ASSERT_NE(run, nullptr) << command.name << " is described but not a command";
        for (const Item& option : optionsOf(command)) {
            if (option.term == "--") continue;
            for (std::vector<std::string> args : spellings(option.term)) {
                if (args[0] == "--device") args[1] = "null";
                if (args[0] == "--note") args[1] = "C-5";
                args.push_back(missing);
                if (command.name == "preview") args.push_back("1");
                std::ostringstream out;
                std::ostringstream err;
                // A missing file is a failed file (1), not a usage error (2).
                EXPECT_EQ(run(args, out, err), cli::kExitFailed)
                    << command.name << ' ' << args[0] << ": " << err.str();
            }
        }
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(run({"--no-such-option", missing}, out, err), cli::kExitUsage) << command.name;
        EXPECT_NE(err.str().find(std::string("Usage: tarvex-cli ") + std::string(command.name)),
                  std::string::npos);
    }
}

TEST(Manual, HelpShowsEveryTermWithinTheWidth) {
    const auto fits = [](const std::string& text, const std::string& what) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), manual::kHelpWidth) << what << ": " << line;
        }
    };
    for (const CommandPage& command : manual::cliPage().commands) {
        const std::string help = cli::helpText(command.name);
        fits(help, std::string(command.name));
        for (const Item& item : optionsOf(command))
            EXPECT_NE(help.find(item.term), std::string::npos) << item.term;
        for (const Item& item : command.keys) EXPECT_NE(help.find(item.term), std::string::npos) << item.term;
    }
    for (const manual::Page* page : {&manual::cliPage(), &manual::windowPage()}) {
        const std::string help = manual::programHelp(*page);
        fits(help, std::string(page->name));
        for (std::string_view line : page->synopsis) EXPECT_NE(help.find(line), std::string::npos) << line;
        for (const manual::Section& section : page->sections) {
            if (!section.inHelp) continue;
            for (const Item& item : section.items)
                EXPECT_NE(help.find(item.term), std::string::npos) << item.term;
        }
    }
}

TEST(Manual, HelpItemsColumns) {
    const Item items[] = {
        {"--rate HZ", "short"},
        {"--a-term-that-is-long X", "goes below"},
        {"-x", "one two three four five six seven eight nine ten eleven twelve thirteen fourteen"},
    };
    EXPECT_EQ(manual::helpItems(items),
              "  --rate HZ          short\n"
              "  --a-term-that-is-long X\n"
              "                     goes below\n"
              "  -x                 one two three four five six seven eight nine ten eleven\n"
              "                     twelve thirteen fourteen\n");
}

// The man form of a term as the page writes it: the first word bold, minus signs escaped.
std::string manTerm(std::string_view term) {
    std::string head(term.substr(0, term.find(' ')));
    std::string out;
    for (size_t i = 0; i < head.size(); ++i) {
        out += head[i] == '-' && (i == 0 || head[i - 1] == '-') ? "\\-" : std::string(1, head[i]);
    }
    return "\\fB" + out + "\\fR";
}

TEST(Manual, PagesHoldEverythingTheHelpHolds) {
    for (const manual::Page* page : {&manual::cliPage(), &manual::windowPage()}) {
        const std::string man = manual::manPage(*page, "9.9", "2030-01-02");
        EXPECT_EQ(man.rfind(".TH ", 0), 0u);
        EXPECT_NE(man.find(" 1 2030-01-02 \"Tarvex 9.9\" \"User Commands\"\n"), std::string::npos);
        std::vector<Item> items(page->options.begin(), page->options.end());
        for (const CommandPage& command : page->commands) {
            EXPECT_NE(man.find(".SS \"" + std::string(page->name) + ' ' + std::string(command.name)),
                      std::string::npos);
            const std::vector<Item> options = optionsOf(command);
            items.insert(items.end(), options.begin(), options.end());
            items.insert(items.end(), command.keys.begin(), command.keys.end());
        }
        for (const manual::Section& section : page->sections) {
            EXPECT_NE(man.find(".SH " + std::string(section.title) + '\n'), std::string::npos);
            items.insert(items.end(), section.items.begin(), section.items.end());
        }
        for (const Item& item : items) {
            EXPECT_NE(man.find(".TP\n" + manTerm(item.term)), std::string::npos)
                << page->name << ": " << item.term;
        }
    }
}

TEST(Manual, ManFormIsEscaped) {
    const std::string_view synopsis[] = {"demo --flag"};
    const Item items[] = {
        {".dot", "'quote at the start"},
        {"--opt VALUE", "a back\\slash, über, 31-sample, -o and [--x]"},
    };
    const manual::Section sections[] = {{"FILES", ".starts with a dot", items}};
    manual::Page page;
    page.name = "demo";
    page.purpose = "a made-up page";
    page.synopsis = synopsis;
    page.description = "first paragraph\nsecond paragraph";
    page.sections = sections;
    const std::string man = manual::manPage(page, "1.0", "2030-01-02");
    EXPECT_EQ(man,
              ".TH DEMO 1 2030-01-02 \"Tarvex 1.0\" \"User Commands\"\n"
              ".SH NAME\n"
              "demo \\- a made-up page\n"
              ".SH SYNOPSIS\n"
              ".nf\n"
              "\\fBdemo\\fR \\-\\-flag\n"
              ".fi\n"
              ".SH DESCRIPTION\n"
              "first paragraph\n"
              ".PP\n"
              "second paragraph\n"
              ".SH FILES\n"
              "\\&.starts with a dot\n"
              ".TP\n"
              "\\fB\\&.dot\\fR\n"
              "\\&'quote at the start\n"
              ".TP\n"
              "\\fB\\-\\-opt\\fR \\fIVALUE\\fR\n"
              "a back\\eslash, \\[u00FC]ber, 31-sample, \\-o and [\\-\\-x]\n");
}

}  // namespace
}  // namespace tarvex
