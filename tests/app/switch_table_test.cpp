// The switch table against what is made from it: both programs' --help, the
// manual pages and the bash completion list exactly the table's switches,
// each with its value, and the generator refuses a template that would drop
// one.
#include "app/switch_table.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace varnolt {
namespace {

struct Program {
    const char* name;
    const char* exe;
    unsigned mask;
};

const Program kPrograms[] = {
    {"varnolt", VARNOLT_EXE_PATH, kForVarnolt},
    {"xvarnolt", XVARNOLT_EXE_PATH, kForXVarnolt},
};

std::vector<std::string> Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

// A letter or name must find one row only, or one switch shadows another;
// and every row must carry what the usage and the manual print.
TEST(SwitchTable, EverySpellingIsOneSwitchWithItsTexts) {
    std::set<std::string> seen;
    for (const SwitchDef& row : Switches()) {
        const std::string spelled = Joined(SwitchSpellings(row), ", ");
        SCOPED_TRACE(spelled);
        for (const std::string& spelling : SwitchSpellings(row)) {
            EXPECT_TRUE(seen.insert(spelling).second) << "defined twice";
        }
        EXPECT_FALSE(row.strHelp.empty());
        EXPECT_FALSE(row.strManual.empty());
        EXPECT_EQ(row.eValue == ValueKind::kNone, row.strValueName.empty());
        EXPECT_EQ(row.eValue == ValueKind::kChoice, !row.arrChoices.empty());
        EXPECT_EQ(row.eSole == SoleRequest::kNone, row.pfnApply != nullptr);
        EXPECT_NE(row.nPrograms, 0u);
        if (row.eSole == SoleRequest::kNone) {
            const SwitchDef* found =
                row.cLetter != '\0' ? FindLetterSwitch(row.cLetter) : FindLongOption(row.strName);
            EXPECT_EQ(found, &row);
        }
    }
}

// Each usage entry "-c cfg-profile  - ..." or "--from ENC  - ...": the
// program's switches, each once with its value, and nothing else. The
// requests that stand alone (-h, --help, --version) are what prints the
// usage, and are not among its entries.
TEST(SwitchTable, HelpListsEverySwitchOfItsProgramWithItsValue) {
    const std::regex entry("^(-[A-Za-z]|--[a-z-]*)( [^ ]+)? +- .*");
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.name);
        std::vector<std::string> expected;
        for (const SwitchDef& row : Switches()) {
            if ((row.nPrograms & program.mask) != 0 && row.eSole == SoleRequest::kNone) {
                expected.push_back(SwitchSpellings(row).front() +
                                   (row.strValueName.empty() ? "" : " ") +
                                   std::string(row.strValueName));
            }
        }
        const auto r = test::RunProgram(program.exe, {"--help"});
        ASSERT_EQ(r.exitCode, 0);
        std::vector<std::string> listed;
        for (const std::string& line : Lines(r.out)) {
            std::smatch m;
            if (std::regex_match(line, m, entry)) {
                listed.push_back(m[1].str() + m[2].str());
            }
        }
        EXPECT_EQ(Sorted(listed), Sorted(expected));
    }
}

// The arguments of a troff macro line, quotes removed and "\-" read as "-".
std::vector<std::string> MacroArguments(const std::string& line) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false;
    bool inArgument = false;
    for (std::size_t i = line.find(' '); i != std::string::npos && i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (c == ' ' && !quoted) {
            if (inArgument) {
                args.push_back(current);
            }
            current.clear();
            inArgument = false;
        } else if (c == '\\' && i + 1 < line.size() && line[i + 1] == '-') {
            current += '-';
            inArgument = true;
            ++i;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        args.push_back(current);
    }
    return args;
}

// The entries of a manual page's OPTIONS section as "-h, --help" or
// "--from enc": the bold arguments of each .TP head are the switch, the
// italic one its value.
std::vector<std::string> ManualEntries(const std::string& page) {
    std::vector<std::string> entries;
    const std::vector<std::string> lines = Lines(page);
    bool inOptions = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(".SH", 0) == 0) {
            inOptions = lines[i] == ".SH OPTIONS";
        }
        if (!inOptions || lines[i] != ".TP" || i + 2 >= lines.size()) {
            continue;
        }
        const std::string& head = lines[i + 1];
        const std::string macro = head.substr(0, head.find(' '));
        // Alternating fonts: .B all bold, .BI bold-italic, .BR bold-roman.
        const char fonts[2] = {'B', macro.size() > 2 ? macro[2] : 'B'};
        std::vector<std::string> spellings;
        std::string value;
        const std::vector<std::string> args = MacroArguments(head);
        for (std::size_t a = 0; a < args.size(); ++a) {
            if (fonts[a % 2] == 'B') {
                spellings.push_back(args[a]);
            } else if (fonts[a % 2] == 'I') {
                value = args[a].substr(args[a].find_first_not_of(' '));
            }
        }
        EXPECT_FALSE(lines[i + 2].empty() || lines[i + 2][0] == '.')
            << head << " has no description";
        entries.push_back(Joined(spellings, ", ") + (value.empty() ? "" : " " + value));
    }
    return entries;
}

TEST(SwitchTable, ManualPagesDescribeEverySwitchOfTheirProgramOnce) {
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.name);
        std::vector<std::string> expected;
        for (const SwitchDef& row : Switches()) {
            if ((row.nPrograms & program.mask) == 0) {
                continue;
            }
            std::string value(row.strValueName);
            std::transform(value.begin(), value.end(), value.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            expected.push_back(Joined(SwitchSpellings(row), ", ") +
                               (value.empty() ? "" : " " + value));
        }
        const std::string page =
            test::ReadFile(std::string(VARNOLT_SWITCH_PAGES_DIR) + "/man/" + program.name + ".1");
        EXPECT_EQ(Sorted(ManualEntries(page)), Sorted(expected));
    }
}

// Runs the completion as bash would for `words` (the last one is completed)
// in `dir`; the candidates, sorted.
std::vector<std::string> Complete(const std::string& dir, const std::vector<std::string>& words) {
    std::vector<std::string> args{
        "--norc",
        "--noprofile",
        "-c",
        "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _varnolt; "
        "[ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\\n' \"${COMPREPLY[@]}\"",
        "_",
        std::string(VARNOLT_SWITCH_PAGES_DIR) + "/varnolt.bash-completion"};
    args.insert(args.end(), words.begin(), words.end());
    const auto r = test::RunProgram("/bin/bash", args, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Sorted(Lines(r.out));
}

// After "-" the program's switches and nothing else (help and version only
// as the first word); after each switch, what its kind of value is.
TEST(SwitchTable, CompletionOffersEachSwitchAndCompletesItsValueByKind) {
    if (!std::filesystem::exists("/bin/bash")) {
        GTEST_SKIP() << "no /bin/bash to run the completion in";
    }
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    test::WriteFile(dir / "a.vnp", "");
    test::WriteFile(dir / "c.txt", "");
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.name);
        std::vector<std::string> first;
        std::vector<std::string> later;
        for (const SwitchDef& row : Switches()) {
            if ((row.nPrograms & program.mask) != 0) {
                for (const std::string& spelling : SwitchSpellings(row)) {
                    first.push_back(spelling);
                    if (row.eSole == SoleRequest::kNone) {
                        later.push_back(spelling);
                    }
                }
            }
        }
        EXPECT_EQ(Complete(dir.Path(), {program.exe, "-"}), Sorted(first));
        EXPECT_EQ(Complete(dir.Path(), {program.exe, "c.txt", "-"}), Sorted(later));
    }
    const std::vector<std::string> files{"a.vnp", "c.txt", "folder"};
    for (const SwitchDef& row : Switches()) {
        if (row.eSole != SoleRequest::kNone) {
            continue;
        }
        const std::string spelling = SwitchSpellings(row).front();
        SCOPED_TRACE(spelling);
        const std::vector<std::string> got = Complete(dir.Path(), {VARNOLT_EXE_PATH, spelling, ""});
        switch (row.eValue) {
        case ValueKind::kNone:
        case ValueKind::kFile:
            EXPECT_EQ(got, files);
            break;
        case ValueKind::kProfile:
            EXPECT_EQ(got, (std::vector<std::string>{"a.vnp", "folder"}));
            break;
        case ValueKind::kFolder:
            EXPECT_EQ(got, std::vector<std::string>{"folder"});
            break;
        case ValueKind::kEncoding:
            // The program's own names, read from its --list-encodings.
            EXPECT_GT(got.size(), 51u);
            for (const char* name : {"auto", "windows-1251", "shift_jis", "koi8-r"}) {
                EXPECT_NE(std::find(got.begin(), got.end(), name), got.end()) << name;
            }
            break;
        case ValueKind::kChoice:
            EXPECT_EQ(got, Sorted(std::vector<std::string>(row.arrChoices.begin(),
                                                           row.arrChoices.end())));
            break;
        case ValueKind::kText:
        case ValueKind::kNumber:
            EXPECT_TRUE(got.empty()) << Joined(got, " ");
            break;
        }
    }
}

// A template that leaves out a section or a list, or holds a placeholder the
// generator does not know, stops the build instead of dropping switches, and
// leaves no output behind.
TEST(SwitchTable, GeneratorRefusesATemplateThatWouldDropSwitches) {
    test::TempDir dir;
    const struct {
        const char* kind;
        const char* text;
    } cases[] = {
        {"man", ".SH OPTIONS\n@SWITCHES run@\n@SWITCHES other@\n"},
        {"man", ".SH OPTIONS\n@SWITCHES run@\n@SWITCHES run@\n@SWITCHES other@\n"
                "@SWITCHES without-profile@\n"},
        {"man", ".SH OPTIONS\n@SWITCHES run@\n@SWITCHES extra@\n@SWITCHES other@\n"
                "@SWITCHES without-profile@\n"},
        {"man", "@SWITCHES run@\n@SWITCHES other@\n@SWITCHES without-profile@\n@VERSION@\n"},
        {"completion", "@VALUE_CASES@\n\"@SWITCHES varnolt@\" \"@SOLE_SWITCHES@\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        test::WriteFile(dir / "page.in", c.text);
        std::vector<std::string> args{c.kind};
        if (std::string(c.kind) == "man") {
            args.push_back("varnolt");
        }
        args.insert(args.end(), {dir / "page.in", dir / "page"});
        const auto r = test::RunProgram(VARNOLT_SWITCH_DOCS_EXE, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("switch_docs: "), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "page"));
        EXPECT_FALSE(std::filesystem::exists(dir / "page.tmp"));
    }
    // The same sections once each make a page, with an e-mail address kept.
    test::WriteFile(dir / "page.in", "maintainers@varnolt.example.org\n@SWITCHES run@\n"
                                     "@SWITCHES without-profile@\n@SWITCHES other@\n");
    const auto r = test::RunProgram(VARNOLT_SWITCH_DOCS_EXE,
                                    {"man", "xvarnolt", dir / "page.in", dir / "page"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadFile(dir / "page").rfind("maintainers@varnolt.example.org\n.TP\n", 0), 0u);
}

} // namespace
} // namespace varnolt
