// Build-time generator: writes the switch entries of the manual pages and
// the switch lists of the bash completion from the programs' own switch
// table into hand-written templates, so neither can drift from the parser.
//
//   switch_docs man <varnolt|xvarnolt> <template> <output>
//   switch_docs completion <template> <output>
//
// A man template holds a line "@SWITCHES run@", "@SWITCHES without-profile@"
// or "@SWITCHES other@" where each section's entries go; the completion
// template holds a line "@VALUE_CASES@" (the `case $prev` arms that complete
// a switch's value) and "@SWITCHES varnolt@", "@SWITCHES xvarnolt@" and
// "@SOLE_SWITCHES@" inside its lines. Any other "@NAME@" is an error, and so
// is a section or list the template leaves out: a switch must never be
// dropped silently.
#include "app/switch_table.hpp"

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace varnolt;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Written beside the output and renamed over it, so a failed run never
// leaves a half page that a later build would take as up to date.
void WriteWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + temporary);
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot rename " + temporary + " to " + path);
    }
}

// A placeholder left over: an upper-case word between '@'s (an e-mail
// address or a bash "[@]" is not one).
bool HasPlaceholder(const std::string& line) {
    static const std::regex kPlaceholder("@[A-Z_]+( [a-z-]+)?@");
    return std::regex_search(line, kPlaceholder);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

unsigned ProgramMask(const std::string& name) {
    if (name == "varnolt") {
        return kForVarnolt;
    }
    if (name == "xvarnolt") {
        return kForXVarnolt;
    }
    throw std::runtime_error("unknown program \"" + name + "\"");
}

// Plain text for troff: every hyphen a minus sign, as switches need, and a
// backslash printed as itself.
std::string TroffEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '-') {
            out += "\\-";
        } else if (c == '\\') {
            out += "\\e";
        } else {
            out += c;
        }
    }
    return out;
}

// The manual paragraph of a row: *bold* and <italic> become font changes,
// '\n' a new source line; a line that would start with a control character
// is guarded.
std::string TroffParagraph(const SwitchDef& row) {
    std::string out;
    bool bold = false;
    bool italic = false;
    bool lineStart = true;
    for (const char c : row.strManual) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        lineStart = false;
        if (c == '*' && !italic) {
            out += bold ? "\\fR" : "\\fB";
            bold = !bold;
        } else if (c == '<' && !bold && !italic) {
            out += "\\fI";
            italic = true;
        } else if (c == '>' && italic) {
            out += "\\fR";
            italic = false;
        } else if (c == '\n') {
            if (bold || italic) {
                throw std::runtime_error("a font change runs over a line in the manual text of " +
                                         SwitchSpellings(row).back());
            }
            out += '\n';
            lineStart = true;
        } else {
            out += TroffEscape(std::string_view(&c, 1));
        }
    }
    if (bold || italic) {
        throw std::runtime_error("an unclosed font change in the manual text of " +
                                 SwitchSpellings(row).back());
    }
    return out + "\n";
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// ".TP", the entry's head (the switch in bold, its value in italics) and
// its paragraph.
std::string ManEntry(const SwitchDef& row) {
    const std::vector<std::string> spellings = SwitchSpellings(row);
    std::string head;
    if (spellings.size() == 1 && row.eValue == ValueKind::kNone) {
        head = ".B " + TroffEscape(spellings.front());
    } else if (spellings.size() == 1) {
        head = ".BI " + TroffEscape(spellings.front()) + " \" " +
               TroffEscape(ToLower(row.strValueName)) + "\"";
    } else if (row.eValue == ValueKind::kNone) {
        head = ".BR " + TroffEscape(spellings.front()) + " \", \" " + TroffEscape(spellings.back());
    } else {
        throw std::runtime_error("no manual head for a switch with a letter, a name and a value: " +
                                 spellings.back());
    }
    return ".TP\n" + head + "\n" + TroffParagraph(row);
}

SwitchSection SectionNamed(const std::string& name) {
    if (name == "run") {
        return SwitchSection::kRun;
    }
    if (name == "without-profile") {
        return SwitchSection::kWithoutProfile;
    }
    if (name == "other") {
        return SwitchSection::kOther;
    }
    throw std::runtime_error("unknown manual section \"" + name + "\"");
}

std::string ManPage(const std::string& templateText, unsigned program) {
    std::string page;
    std::set<SwitchSection> placed;
    for (const std::string& line : Lines(templateText)) {
        const std::string kPrefix = "@SWITCHES ";
        if (line.rfind(kPrefix, 0) == 0 && line.size() > kPrefix.size() && line.back() == '@') {
            const SwitchSection section =
                SectionNamed(line.substr(kPrefix.size(), line.size() - kPrefix.size() - 1));
            if (!placed.insert(section).second) {
                throw std::runtime_error("the template names a section twice: " + line);
            }
            for (const SwitchDef& row : Switches()) {
                if ((row.nPrograms & program) != 0 && row.eSection == section) {
                    page += ManEntry(row);
                }
            }
        } else if (HasPlaceholder(line)) {
            throw std::runtime_error("unknown placeholder: " + line);
        } else {
            page += line + "\n";
        }
    }
    for (const SwitchDef& row : Switches()) {
        if ((row.nPrograms & program) != 0 && placed.count(row.eSection) == 0) {
            throw std::runtime_error("the template has no place for " +
                                     SwitchSpellings(row).back());
        }
    }
    return page;
}

// The words the completion offers after "-" for `program`, or the requests
// that only stand alone.
std::string SwitchWords(unsigned program, bool sole) {
    std::string words;
    for (const SwitchDef& row : Switches()) {
        if ((row.nPrograms & program) == 0 || (row.eSole != SoleRequest::kNone) != sole) {
            continue;
        }
        for (const std::string& spelling : SwitchSpellings(row)) {
            words += (words.empty() ? "" : " ") + spelling;
        }
    }
    return words;
}

// What completes a value of each kind; the functions are the template's.
std::string ValueAction(const SwitchDef& row) {
    switch (row.eValue) {
    case ValueKind::kProfile:
        return "_varnolt_complete_profiles";
    case ValueKind::kFile:
        return "_varnolt_complete_files";
    case ValueKind::kFolder:
        return "_varnolt_complete_folders";
    case ValueKind::kEncoding:
        return "_varnolt_complete_encodings";
    case ValueKind::kChoice: {
        std::string words;
        for (const std::string_view choice : row.arrChoices) {
            words += (words.empty() ? "" : " ") + std::string(choice);
        }
        return "_varnolt_complete_words '" + words + "'";
    }
    case ValueKind::kText:
    case ValueKind::kNumber:
        return "COMPREPLY=()";
    case ValueKind::kNone:
        break;
    }
    throw std::runtime_error("no completion for a switch without a value");
}

// One `case` arm per way of completing, listing the switches that take
// such a value, in the table's order.
std::string ValueCases() {
    std::vector<std::string> order;
    std::map<std::string, std::string> patterns;
    for (const SwitchDef& row : Switches()) {
        if (row.eValue == ValueKind::kNone) {
            continue;
        }
        const std::string action = ValueAction(row);
        if (patterns.count(action) == 0) {
            order.push_back(action);
        }
        for (const std::string& spelling : SwitchSpellings(row)) {
            std::string& pattern = patterns[action];
            pattern += (pattern.empty() ? "" : "|") + spelling;
        }
    }
    std::string text;
    for (const std::string& action : order) {
        text += "        " + patterns[action] + ")\n            " + action +
                "\n            return\n            ;;\n";
    }
    return text;
}

std::string Completion(const std::string& templateText) {
    const std::map<std::string, std::string> inlineValues = {
        {"@SWITCHES varnolt@", SwitchWords(kForVarnolt, false)},
        {"@SWITCHES xvarnolt@", SwitchWords(kForXVarnolt, false)},
        {"@SOLE_SWITCHES@", SwitchWords(kForVarnolt | kForXVarnolt, true)},
    };
    std::set<std::string> used;
    std::string text;
    for (std::string line : Lines(templateText)) {
        if (line == "@VALUE_CASES@") {
            text += ValueCases();
            used.insert(line);
            continue;
        }
        for (const auto& [placeholder, value] : inlineValues) {
            for (std::size_t at; (at = line.find(placeholder)) != std::string::npos;) {
                line.replace(at, placeholder.size(), value);
                used.insert(placeholder);
            }
        }
        if (HasPlaceholder(line)) {
            throw std::runtime_error("unknown placeholder: " + line);
        }
        text += line + "\n";
    }
    if (used.size() != inlineValues.size() + 1) {
        throw std::runtime_error("the completion template leaves out a switch list");
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == "man") {
            WriteWhole(args[3], ManPage(ReadWhole(args[2]), ProgramMask(args[1])));
        } else if (args.size() == 3 && args[0] == "completion") {
            WriteWhole(args[2], Completion(ReadWhole(args[1])));
        } else {
            std::fputs("usage: switch_docs man <varnolt|xvarnolt> <template> <output>\n"
                       "       switch_docs completion <template> <output>\n",
                       stderr);
            return 2;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "switch_docs: %s\n", error.what());
        return 1;
    }
    return 0;
}
