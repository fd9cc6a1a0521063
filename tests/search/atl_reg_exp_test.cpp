// The pattern engine: compile result codes, the dialect, case folding, and
// the bound on matching work for hostile patterns.
#include "search/atl_reg_exp.hpp"
#include "search/file_find_ex.hpp"

#include <gtest/gtest.h>
#include <string>

namespace varnolt {
namespace {

TEST(AtlRegExp, EveryCompileCodeFromAPatternThatCausesIt) {
    const std::string deep = std::string(CAtlRegExp::kMaxNesting + 1, '(') + "a" +
                             std::string(CAtlRegExp::kMaxNesting + 1, ')');
    const std::string stacked = "a" + std::string(10 * CAtlRegExp::kMaxNesting, '?');
    const struct {
        std::string pattern;
        RegExpResult code;
    } cases[] = {
        {"a.c", RegExpResult::Ok},
        {deep, RegExpResult::OutOfMemory},
        {stacked, RegExpResult::OutOfMemory},
        {"{ab", RegExpResult::BraceExpected},
        {"{a)", RegExpResult::BraceExpected},
        {"(a", RegExpResult::ParenExpected},
        {"(a}", RegExpResult::ParenExpected},
        {"[ab", RegExpResult::BracketExpected},
        {"[a-", RegExpResult::BracketExpected},
        {"[a-]", RegExpResult::BracketExpected},
        {"[a\\", RegExpResult::BracketExpected},
        {"a)", RegExpResult::UnexpectedSyntax},
        {"a}", RegExpResult::UnexpectedSyntax},
        {"a\\", RegExpResult::UnexpectedSyntax},
        {"a!", RegExpResult::UnexpectedSyntax},
        {"!|a", RegExpResult::UnexpectedSyntax},
        {"[]", RegExpResult::EmptyRange},
        {"[^]", RegExpResult::EmptyRange},
        {"\\0", RegExpResult::InvalidGroup},
        {"{a}\\1", RegExpResult::InvalidGroup},
        {"[z-a]", RegExpResult::InvalidRange},
        // Folding happens before parsing: "Z-a" becomes "z-a".
        {"[Z-a]", RegExpResult::InvalidRange},
        {"a**", RegExpResult::InvalidRepeator},
        {"(a?)*", RegExpResult::InvalidRepeator},
        {"(a|)+", RegExpResult::InvalidRepeator},
        {"(!a)*?", RegExpResult::InvalidRepeator},
        {"{b?}\\0+", RegExpResult::InvalidRepeator},
        {"", RegExpResult::InvalidInput},
        // Not errors: "?" may apply to anything, a leading "*" is literal.
        {"a??", RegExpResult::Ok},
        {"(a?)?", RegExpResult::Ok},
        {"*a", RegExpResult::Ok},
        {"{a}\\0+", RegExpResult::Ok},
        {"{a\\0}", RegExpResult::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        CAtlRegExp re;
        EXPECT_EQ(re.Compile(c.pattern), c.code);
        if (c.code != RegExpResult::Ok) {
            EXPECT_FALSE(re.Match("a")) << "a failed compile leaves nothing to match";
        }
    }
}

TEST(AtlRegExp, Dialect) {
    const struct {
        const char* pattern;
        std::string text;
        bool match;
    } cases[] = {
        // Anchors only at the ends; elsewhere ordinary characters.
        {"\\.cpp$", "main.cpp", true},
        {"\\.cpp$", "MAIN.CPP", true},
        {"\\.cpp$", "main.cpp.orig", false},
        {"^.*\\.cpp$", "main.cpp", true},
        {"cpp", "main.cpp.orig", true},
        {"^main", "xmain", false},
        {"a^b", "a^b", true},
        {"a$b", "xa$by", true},
        {"^", "", true},
        {"^$", "", true},
        {"^$", "a", false},
        {"*a", "x*a", true},
        {"*a", "xa", false},
        {"^+$", "+", true},
        // Any, sets, ranges, negation, escapes inside sets.
        {"^a.c$", "abc", true},
        {"^a.c$", "ac", false},
        {"^[a-c]+$", "abcab", true},
        {"^[a-c]+$", "abd", false},
        {"^[^0-9]+$", "abc", true},
        {"^[^0-9]+$", "ab1", false},
        {"^[\\t]$", "\t", true},
        {"^[\\]x]+$", "]x]", true},
        {"^[-x]$", "-", true},
        {"^[\\-]$", "-", true},
        // Greedy and lazy repeats accept the same names.
        {"^a*?b$", "aaab", true},
        {"^a+?$", "aaa", true},
        {"^a+$", "", false},
        {"^ab??c$", "ac", true},
        {"^ab??c$", "abc", true},
        {"^ab?c$", "abbc", false},
        // Grouping, alternation, numbered groups and back-references.
        {"^(cat|dog)\\.txt$", "dog.txt", true},
        {"^(cat|dog)\\.txt$", "cow.txt", false},
        {"^{a+}-\\0$", "aa-aa", true},
        {"^{a+}-\\0$", "aa-a", false},
        {"{[0-9]}\\0", "x11y", true},
        {"{[0-9]}\\0", "x12y", false},
        {"^{a}{b}{c}{d}{e}{f}{g}{h}{i}{j}{k}\\10$", "abcdefghijkk", true},
        {"^{a}{b}{c}{d}{e}{f}{g}{h}{i}{j}{k}\\10$", "abcdefghijka0", false},
        {"^({x}|y)\\0$", "y", false}, // an unset group matches nothing
        {"^{{a}b}\\1\\0$", "abaab", true},
        // Negative lookahead.
        {"^!a", "abc", false},
        {"^!a", "bc", true},
        {"^!(ab).*$", "ac", true},
        {"^!(ab).*$", "abc", false},
        {"x!y", "xyxz", true},
        {"^!!a.$", "a", true},
        {"^!!a.$", "b", false},
        // Shorthands.
        {"^\\a\\a$", "a1", true},
        {"^\\a$", "-", false},
        {"a\\bb", "a b", true},
        {"a\\bb", "a\tb", true},
        {"a\\bb", "ab", false},
        {"^\\c+$", "Abc", true},
        {"^\\c$", "1", false},
        {"^\\d\\d$", "42", true},
        {"^\\d\\d$", "4a", false},
        {"^\\h+$", "DeadBeef09", true},
        {"^\\h+$", "xyz", false},
        {"a\\nb", "a\nb", true},
        {"a\\nb", "a\rb", true},
        {"a\\nb", "a\r\nb", true},
        {"a\\nb", "a\n\nb", false},
        {"^\\q$", "\"x y\"", true},
        {"^\\q$", "'it'", true},
        {"^\\q$", "\"x'", false},
        {"^\\w$", "abc", true},
        {"^\\w$", "ab1", false},
        {"^\\z$", "2026", true},
        {"^\\z$", "", false},
        // "\" before any other character: that character; "\t" outside a set
        // is a plain t.
        {"^\\.\\$$", ".$", true},
        {"^\\t$", "t", true},
        {"^\\($", "(", true},
        // Folding: A-Z only, pattern and name alike ("\D" is "\d").
        {"^ABC$", "abc", true},
        {"^abc$", "ABC", true},
        {"^\\D$", "5", true},
        {"^\xc3\xa9\\.txt$", "\xc3\x89.txt", false},
        // Characters, not bytes: "." takes one whole UTF-8 character; bytes
        // outside valid UTF-8 stand for themselves.
        {"^.\\.txt$", "\xc3\xa9.txt", true},
        {"^..\\.txt$", "\xc3\xa9.txt", false},
        {"\xff",
         "a\xff"
         "b",
         true},
        {"^.$", "\xff", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " on " + c.text);
        CAtlRegExp re;
        ASSERT_EQ(re.Compile(c.pattern), RegExpResult::Ok);
        EXPECT_EQ(re.Match(c.text), c.match);
    }
}

TEST(AtlRegExp, CaseSensitiveCompileDoesNotFold) {
    CAtlRegExp re;
    ASSERT_EQ(re.Compile("^ABC$", true), RegExpResult::Ok);
    EXPECT_TRUE(re.Match("ABC"));
    EXPECT_FALSE(re.Match("abc"));
}

// Without back-references every (instruction, position) state is explored at
// most once per start of a lookahead body, so classic blow-ups stay small.
TEST(AtlRegExp, HostilePatternsWithoutBackReferencesStayWithinTheStateBound) {
    const std::string name(255, 'a');
    const struct {
        const char* pattern;
        bool match;
    } cases[] = {
        {"^(a|a)*(a|a)*(a|a)*b$", false},
        {"^(a+)+b$", false},
        {"(a*)*b", false},
        {"^(a|aa)+$c", false},
        {"^(.*?,){11}P", false},
        {"^!(!(!(a*b)))a*(a|a)*c", false},
        {"^(\\w|\\a+)+!(a+a+a+b)$", true},
        {"(!(a+a+b)a)+b", false},
        {"^((a|a)+!(a+a+a+a+b))+(a|a)+!(a+a+b)b", false},
    };
    for (const auto& [pattern, match] : cases) {
        SCOPED_TRACE(pattern);
        CAtlRegExp re;
        const RegExpResult code = re.Compile(pattern);
        if (code != RegExpResult::Ok) {
            EXPECT_EQ(code, RegExpResult::InvalidRepeator);
            continue;
        }
        EXPECT_FALSE(re.HasBackReferences());
        EXPECT_EQ(re.Match(name), match);
        EXPECT_FALSE(re.LastHitCeiling());
        const std::uint64_t width = name.size() + 1;
        const std::uint64_t bound =
            (2 * re.ProgramSize() * width + 2) * (1 + re.LookaheadCount() * width) + width;
        EXPECT_LE(re.LastSteps(), bound);
    }
}

// With back-references the captures are part of the state; the ceiling ends
// the search and the name counts as not matching.
TEST(AtlRegExp, BackReferenceSearchStopsAtTheCeiling) {
    CAtlRegExp re;
    ASSERT_EQ(re.Compile("^{a*}{a*}{a*}{a*}{a*}\\0\\1\\2\\3\\4b$"), RegExpResult::Ok);
    EXPECT_FALSE(re.Match(std::string(200, 'a')));
    EXPECT_TRUE(re.LastHitCeiling());
    EXPECT_LE(re.LastSteps(), CAtlRegExp::kStepCeiling + 1);
    // The same object still answers short names exactly afterwards.
    EXPECT_TRUE(re.Match("aab"));
    EXPECT_FALSE(re.LastHitCeiling());
}

// Before any group has captured, and wherever no back-reference is reachable,
// the outcome does not depend on captures: those states are memoised, so a
// nested repeat around a back-reference pattern stays cheap.
TEST(AtlRegExp, BackReferencePatternsMemoiseWhereCapturesCannotMatter) {
    const std::string name = std::string(250, 'a') + "-x";
    const struct {
        const char* pattern;
        bool match;
    } cases[] = {
        {"^.+++{a}\\0b$", false},
        {"^.+++{a}\\0-x$", true},
        {"^{[a\\-]}\\0(.+)+(.+)+y$", false},
        {"{x}\\0|(a+a+)+b", false},
    };
    for (const auto& [pattern, match] : cases) {
        SCOPED_TRACE(pattern);
        CAtlRegExp re;
        ASSERT_EQ(re.Compile(pattern), RegExpResult::Ok);
        ASSERT_TRUE(re.HasBackReferences());
        EXPECT_EQ(re.Match(name), match);
        EXPECT_FALSE(re.LastHitCeiling());
    }
}

TEST(Wildcard, TranslationEscapesTheFifteenCharacters) {
    EXPECT_EQ(WildcardToPattern("*.htm?"), "^.*?\\.htm.$");
    EXPECT_EQ(WildcardToPattern(" !$()+-.[\\]^{|}"),
              "^\\ \\!\\$\\(\\)\\+\\-\\.\\[\\\\\\]\\^\\{\\|\\}$");
    EXPECT_EQ(WildcardToPattern("a#b,c&d"), "^a#b,c&d$");
    // Every translated wildcard compiles and matches itself literally.
    const std::string literal = "x !$()+-.[\\]^{|}y";
    CAtlRegExp re;
    ASSERT_EQ(re.Compile(WildcardToPattern(literal)), RegExpResult::Ok);
    EXPECT_TRUE(re.Match(literal));
    EXPECT_FALSE(re.Match(literal + "z"));
}

TEST(Wildcard, ErrorTexts) {
    const char* texts[] = {"Worked OK",        "Out of memory",    "Brace expected",
                           "Paren expected",   "Bracket expected", "Unexpected syntax",
                           "Empty range",      "Invalid group",    "Invalid range",
                           "Invalid repeator", "Invalid input"};
    for (int code = 0; code <= 10; ++code) {
        EXPECT_EQ(FilterErrorText(code), texts[code]);
    }
    EXPECT_EQ(FilterErrorText(11), "Unknown error");
    EXPECT_EQ(FilterErrorText(-1), "Unknown error");
}

} // namespace
} // namespace varnolt
