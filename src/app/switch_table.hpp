// Every command-line switch of both programs, defined once: the parser, the
// usage texts, the manual pages and the shell completion are all read from
// this table, so a switch cannot be added to one and forgotten in another.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

class CMyCmdLineInfo;

// What a switch's value is. The completion offers candidates by it, the
// manual and the usage name it.
enum class ValueKind : std::uint8_t {
    kNone,     // a flag: the switch takes no value
    kProfile,  // a profile file
    kFile,     // any file name
    kFolder,   // a folder
    kEncoding, // a code page number, an encoding name or "auto"
    kChoice,   // one of the row's choices
    kText,     // free text such as a prefix: nothing to offer
    kNumber,   // a decimal number
};

// Which program's usage, manual and completion list a switch.
enum SwitchProgram : unsigned {
    kForVarnolt = 1,
    kForXVarnolt = 2,
    kForBoth = kForVarnolt | kForXVarnolt,
};

// The part of the manual's OPTIONS section a switch is described in.
enum class SwitchSection : std::uint8_t { kRun, kWithoutProfile, kOther };

// What a program does for a switch that is only meaningful alone (it never
// reaches the run's grammar: among other arguments it is an unknown switch).
enum class SoleRequest : std::uint8_t { kNone, kHelp, kVersion };

// One switch. Rows are written with designated initializers; what a row
// leaves out is the default below.
struct SwitchDef {
    // The letter (matched in either case) and the long name without "--";
    // a row has one or both. A row with neither is "--" itself.
    char cLetter = '\0';
    std::string_view strName = {};
    ValueKind eValue = ValueKind::kNone;
    // The value as the usage names it ("cfg-profile", "ENC"); the manual
    // writes it in lower case.
    std::string_view strValueName = {};
    // The usage text, '\n' between its lines.
    std::string_view strHelp = {};
    // The manual's paragraph: '\n' between sentences, *bold* and <italic>.
    std::string_view strManual = {};
    // The exit code of a mistake in this switch (a missing or refused value,
    // a value given to a flag); 0 when nothing about it can be wrong: a -p
    // without its number only means no console is written to.
    std::int32_t nError = 0;
    unsigned nPrograms = kForBoth;
    SwitchSection eSection = SwitchSection::kRun;
    SoleRequest eSole = SoleRequest::kNone;
    // The run converts nothing with it (the front end then reports no
    // "Conversion OK!").
    bool bConvertsNothing = false;
    // ValueKind::kChoice: the values it takes.
    std::span<const std::string_view> arrChoices = {};
    // Takes the switch (and its value) into `info`. An empty result means
    // accepted; otherwise the text says what is wrong, naming the switch.
    // Null for the rows that only stand alone.
    std::string (*pfnApply)(CMyCmdLineInfo& info, const std::string& value) = nullptr;
};

std::span<const SwitchDef> Switches();

// The row of a letter (either case) or a long name that the run's grammar
// takes, or null; rows that only stand alone are not found. The empty long
// name finds "--".
const SwitchDef* FindLetterSwitch(char letter);
const SwitchDef* FindLongOption(std::string_view name);

// The row that `arg` spells exactly ("-h", "--help", "--version") when it
// is a request that stands alone, else kNone.
SoleRequest SoleArgumentRequest(std::string_view arg);

// The row's spellings as a user types them: {"-c"}, {"--from"}, {"--"}, and
// {"-h", "--help"} for a row that has both.
std::vector<std::string> SwitchSpellings(const SwitchDef& row);

// The usage lines of `program`'s single-letter switches ("-c cfg-profile -
// The config ...") and of its long options and "--", each block in its own
// column, as --help prints them.
std::string LetterSwitchesUsage(unsigned program);
std::string LongOptionsUsage(unsigned program);

// Unicode output formats as --to takes them, in the profile's order of
// format numbers (0 UTF-16LE, 1 UTF-16BE, 2 UTF-8).
inline constexpr std::string_view kUnicodeFormatNames[] = {"utf-16le", "utf-16be", "utf-8"};

} // namespace varnolt
