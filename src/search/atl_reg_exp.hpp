// The pattern engine of the file filters: a small regular-expression dialect
// compiled to a program and run by a memoising backtracker with a step ceiling.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

// Compile result codes; the numbers are part of the filters' user interface
// (FilterErrorText turns them into the texts the user sees).
enum class RegExpResult : int {
    Ok = 0,
    OutOfMemory = 1,
    BraceExpected = 2,
    ParenExpected = 3,
    BracketExpected = 4,
    UnexpectedSyntax = 5,
    EmptyRange = 6,
    InvalidGroup = 7,
    InvalidRange = 8,
    InvalidRepeator = 9,
    InvalidInput = 10,
};

class CAtlRegExp {
public:
    // Hard ceiling on the steps of one Match. Only patterns with
    // back-references can come near it (see ARCHITECTURE.md); a match that
    // reaches it stops and counts as no match. About 20 ms.
    static constexpr std::uint64_t kStepCeiling = 2'000'000;

    // Deeper nesting of groups, sets of parentheses and "!" than this is
    // refused with OutOfMemory: the parser and the matcher recurse per level.
    static constexpr int kMaxNesting = 100;

    // Text and pattern are UTF-8; a byte that is not part of a valid sequence
    // stands for itself. Without caseSensitive, A-Z fold to a-z on both sides
    // (and only those letters).
    RegExpResult Compile(std::string_view pattern, bool caseSensitive = false);

    // True when the compiled pattern matches the text (anywhere, unless
    // anchored with a leading "^" / trailing "$"). False when nothing is
    // compiled.
    bool Match(std::string_view text);

    // Diagnostics of the last Match: the steps it took and whether it hit the
    // ceiling. Steps are instruction dispatches of the matcher.
    std::uint64_t LastSteps() const { return m_nLastSteps; }
    bool LastHitCeiling() const { return m_bLastHitCeiling; }
    bool HasBackReferences() const { return m_bBackRefs; }
    std::size_t ProgramSize() const { return m_arrProgram.size(); }
    std::size_t LookaheadCount() const { return m_nLookaheads; }

    enum class Op : std::uint8_t {
        Char,
        Any,
        Set,
        Split,
        Jmp,
        Save,
        BackRef,
        NotAhead,
        AssertEnd,
        LookMatch,
        Match,
    };
    struct Instr {
        Op op;
        char32_t ch = 0;
        int a = 0; // Split: first choice; NotAhead: body; Save/BackRef: slot/group
        int b = 0; // Split: second choice; Jmp: target; NotAhead: continuation
        int look = 0;
    };
    struct CharSet {
        std::vector<std::pair<char32_t, char32_t>> ranges;
        bool negated = false;
        bool Contains(char32_t c) const;
    };

private:
    bool Run(int pc, int pos, int depth, std::uint32_t epoch);
    bool LookAhead(const Instr& in, int pos, int depth);
    bool Visit(int pc, int pos, std::uint32_t epoch);
    void UnwindTo(std::size_t base);

    std::vector<Instr> m_arrProgram;
    std::vector<CharSet> m_arrSets;
    std::vector<bool> m_arrCaptureFree; // per instruction, see the .cpp
    bool m_bCompiled = false;
    bool m_bAnchorStart = false;
    bool m_bCaseSensitive = false;
    bool m_bBackRefs = false;
    int m_nGroups = 0;
    std::size_t m_nLookaheads = 0;

    // Scratch of Match, kept between calls to avoid reallocating per name.
    struct Frame {
        int pc;
        int pos; // a capture restore when pc < 0: slot = -pc - 1, old value = pos
    };
    std::vector<char32_t> m_text;
    std::vector<Frame> m_stack;
    std::vector<int> m_captures;
    std::vector<std::uint32_t> m_visited; // epoch per (pc, pos)
    std::vector<std::uint32_t> m_lookStamp;
    std::vector<std::uint8_t> m_lookResult;
    std::vector<std::uint32_t> m_lookEpoch;
    int m_nCapturesSet = 0; // Save operations in effect
    std::uint32_t m_nEpoch = 0;
    std::uint32_t m_nMatchEpoch = 0;
    std::uint64_t m_nLastSteps = 0;
    bool m_bLastHitCeiling = false;
};

} // namespace varnolt
