#include "manual/Manual.h"

#include <cstdint>
#include <cstdio>

namespace tarvex::manual {

namespace {

constexpr size_t kTermIndent = 2;
constexpr size_t kTextColumn = 21;

// The paragraphs of a text, split at "\n".
template <typename Each>
void forEachParagraph(std::string_view text, Each each) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        each(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

// Display columns of UTF-8 text: continuation bytes take none.
size_t columns(std::string_view text) {
    size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

// Appends text wrapped to kHelpWidth: the first line continues at column `at`, the others start at
// column indent. Blanks between words stay as written unless the line breaks there.
void wrap(std::string& out, std::string_view text, size_t at, size_t indent) {
    size_t column = at;
    bool lineEmpty = true;
    size_t gap = 0;
    while (!text.empty()) {
        if (text.front() == ' ') {
            text.remove_prefix(1);
            ++gap;
            continue;
        }
        const std::string_view word = text.substr(0, text.find(' '));
        text.remove_prefix(word.size());
        const size_t width = columns(word);
        if (!lineEmpty && column + gap + width > kHelpWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out.append(gap, ' ');
            column += gap;
        }
        gap = 0;
        out += word;
        column += width;
        lineEmpty = false;
    }
    out += '\n';
}

// Paragraphs with a blank line between them.
void helpParagraphs(std::string& out, std::string_view text) {
    bool first = true;
    forEachParagraph(text, [&](std::string_view paragraph) {
        if (!first) out += '\n';
        wrap(out, paragraph, 0, 0);
        first = false;
    });
}

// The synopsis lines that are about this command.
std::string synopsisFor(const Page& page, const CommandPage& command) {
    return std::string(page.name) + ' ' + std::string(command.name) + ' ' + std::string(command.usage);
}

// ---- man(7)

// Escapes text for the man formatter: backslashes, a minus that starts a word (an option, which
// must stay a minus sign), and characters beyond ASCII as \[uXXXX].
std::string roff(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            const bool startsWord = i == 0 || text[i - 1] == ' ' || text[i - 1] == '-' ||
                                    text[i - 1] == '[' || text[i - 1] == '(' || text[i - 1] == '|' ||
                                    text[i - 1] == '=';
            out += startsWord ? "\\-" : "-";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // Decode one UTF-8 sequence.
            uint32_t code = 0;
            size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
            code = c & (0x3F >> extra);
            for (size_t k = 0; k < extra && i + 1 < text.size(); ++k) {
                code = code << 6 | (static_cast<unsigned char>(text[++i]) & 0x3F);
            }
            char name[16];
            std::snprintf(name, sizeof name, "\\[u%04X]", static_cast<unsigned>(code));
            out += name;
        }
    }
    return out;
}

// A text line for the man formatter: one starting with a control character is protected.
std::string roffLine(std::string_view text) {
    std::string line = roff(text);
    if (!line.empty() && (line[0] == '.' || line[0] == '\'')) line.insert(0, "\\&");
    return line + '\n';
}

void manParagraphs(std::string& out, std::string_view text) {
    bool first = true;
    forEachParagraph(text, [&](std::string_view paragraph) {
        if (!first) out += ".PP\n";
        out += roffLine(paragraph);
        first = false;
    });
}

// A term in bold up to its first blank, the rest (its argument) in italics.
void manItems(std::string& out, std::span<const Item> items) {
    for (const Item& item : items) {
        out += ".TP\n";
        const size_t blank = item.term.find(' ');
        const std::string_view head = item.term.substr(0, blank);
        std::string term = "\\fB" + roff(head) + "\\fR";
        if (blank != std::string_view::npos) term += " \\fI" + roff(item.term.substr(blank + 1)) + "\\fR";
        if (term.rfind("\\fB.", 0) == 0 || term.rfind("\\fB'", 0) == 0) term.insert(3, "\\&");
        out += term + '\n';
        out += roffLine(item.text);
    }
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace

std::string helpItems(std::span<const Item> items) {
    std::string out;
    for (const Item& item : items) {
        out.append(kTermIndent, ' ');
        out += item.term;
        const size_t at = kTermIndent + columns(item.term);
        if (at + 1 >= kTextColumn) {
            out += '\n';
            out.append(kTextColumn, ' ');
        } else {
            out.append(kTextColumn - at, ' ');
        }
        wrap(out, item.text, kTextColumn, kTextColumn);
    }
    return out;
}

std::string commandUsage(const Page& page, const CommandPage& command) {
    return "Usage: " + synopsisFor(page, command) + '\n';
}

std::string commandHelp(const Page& page, const CommandPage& command) {
    std::string out = commandUsage(page, command);
    helpParagraphs(out, command.description);
    if (!command.options.empty() || command.outputOptions || command.deviceOptions) {
        out += "\nOptions:\n";
        out += helpItems(command.options);
        if (command.deviceOptions) out += helpItems(deviceOptions());
        if (command.outputOptions) out += helpItems(outputOptions());
    }
    if (!command.keys.empty()) {
        out += "\nKeys on a terminal:\n";
        out += helpItems(command.keys);
    }
    return out;
}

std::string programHelp(const Page& page) {
    std::string out;
    for (size_t i = 0; i < page.synopsis.size(); ++i) {
        out += i == 0 ? "Usage: " : "       ";
        out += page.synopsis[i];
        out += '\n';
    }
    out += '\n';
    helpParagraphs(out, page.description);
    if (!page.options.empty()) {
        out += "\nOptions:\n";
        out += helpItems(page.options);
    }
    if (!page.commands.empty()) {
        out += "\nCommands:\n";
        for (const CommandPage& command : page.commands) {
            out += "  " + std::string(command.name) + ' ' + std::string(command.usage) + '\n';
            out += "      " + std::string(command.summary) + '\n';
        }
    }
    for (const Section& section : page.sections) {
        if (!section.inHelp) continue;
        // "EXIT STATUS" becomes "Exit status".
        std::string title(section.title);
        for (size_t i = 1; i < title.size(); ++i) {
            if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
        }
        out += '\n' + title + ":\n";
        if (!section.text.empty()) helpParagraphs(out, section.text);
        out += helpItems(section.items);
    }
    return out;
}

std::string manPage(const Page& page, std::string_view version, std::string_view date) {
    std::string out;
    out += ".TH " + roff(upper(page.name)) + " 1 " + std::string(date) + " \"Tarvex " + std::string(version) +
           "\" \"User Commands\"\n";
    out += ".SH NAME\n" + roff(page.name) + " \\- " + roff(page.purpose) + '\n';
    out += ".SH SYNOPSIS\n.nf\n";
    for (std::string_view line : page.synopsis) {
        const size_t blank = line.find(' ');
        out += "\\fB" + roff(line.substr(0, blank)) + "\\fR";
        if (blank != std::string_view::npos) out += roff(line.substr(blank));
        out += '\n';
    }
    out += ".fi\n";
    out += ".SH DESCRIPTION\n";
    manParagraphs(out, page.description);
    if (!page.options.empty()) {
        out += ".SH OPTIONS\n";
        manItems(out, page.options);
    }
    if (!page.commands.empty()) {
        out += ".SH COMMANDS\n";
        for (const CommandPage& command : page.commands) {
            out += ".SS \"" + roff(synopsisFor(page, command)) + "\"\n";
            manParagraphs(out, command.description);
            if (!command.options.empty()) manItems(out, command.options);
            if (command.outputOptions || command.deviceOptions) {
                out += ".PP\n";
                out += command.deviceOptions
                           ? "Takes the device options and the output and mixer options below.\n"
                           : "Takes the output and mixer options below.\n";
            }
            if (!command.keys.empty()) {
                out += ".PP\nKeys on a terminal:\n";
                manItems(out, command.keys);
            }
        }
        out += ".SS \"Device options\"\n";
        manItems(out, deviceOptions());
        out += ".SS \"Output and mixer options\"\n";
        manItems(out, outputOptions());
    }
    for (const Section& section : page.sections) {
        out += ".SH " + roff(section.title) + '\n';
        if (!section.text.empty()) manParagraphs(out, section.text);
        manItems(out, section.items);
    }
    if (!page.seeAlso.empty()) {
        out += ".SH \"SEE ALSO\"\n";
        for (size_t i = 0; i < page.seeAlso.size(); ++i) {
            const std::string_view ref = page.seeAlso[i];
            const size_t paren = ref.find('(');
            out += ".BR " + roff(ref.substr(0, paren)) + ' ' + std::string(ref.substr(paren));
            out += i + 1 < page.seeAlso.size() ? ",\n" : "\n";
        }
    }
    return out;
}

}  // namespace tarvex::manual
