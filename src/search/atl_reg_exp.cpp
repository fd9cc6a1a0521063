// Pattern engine: parser (to a small tree), checks, code generation, matcher.
//
// Matching is a backtracking search over (instruction, position) states. For
// a pattern without back-references a state's outcome depends on nothing
// else, so every state is explored at most once per Match (a visited table
// stamped with an epoch) and every "!x" result is cached per position: the
// work is bounded by program size x text length, whatever the pattern. With
// back-references the captures are part of the state and no such bound
// exists; the step ceiling ends those searches instead.
#include "search/atl_reg_exp.hpp"

#include <algorithm>
#include <limits>
#include <new>

namespace varnolt {
namespace {

// Bytes that are not part of a valid UTF-8 sequence map into the low
// surrogate range, where no decoded character can land.
constexpr char32_t kRawByteBase = 0xDC00;

void DecodeUtf8(std::string_view in, bool foldCase, std::vector<char32_t>& out) {
    out.clear();
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        char32_t c = b0;
        std::size_t len = 1;
        if (b0 >= 0x80) {
            std::size_t need = 0;
            char32_t min = 0;
            if (b0 >= 0xC2 && b0 <= 0xDF) {
                need = 1, c = b0 & 0x1F, min = 0x80;
            } else if (b0 >= 0xE0 && b0 <= 0xEF) {
                need = 2, c = b0 & 0x0F, min = 0x800;
            } else if (b0 >= 0xF0 && b0 <= 0xF4) {
                need = 3, c = b0 & 0x07, min = 0x10000;
            }
            bool ok = need > 0 && i + need < in.size();
            for (std::size_t k = 1; ok && k <= need; ++k) {
                const auto bk = static_cast<unsigned char>(in[i + k]);
                ok = (bk & 0xC0) == 0x80;
                c = (c << 6) | (bk & 0x3F);
            }
            if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) {
                ok = false;
            }
            if (ok) {
                len = need + 1;
            } else {
                c = kRawByteBase + b0;
            }
        } else if (foldCase && c >= 'A' && c <= 'Z') {
            c += 'a' - 'A';
        }
        out.push_back(c);
        i += len;
    }
}

struct Node {
    enum Kind { Empty, Char, Any, Set, Concat, Alt, Repeat, Group, BackRef, NotAhead, End };
    Kind kind = Empty;
    char32_t ch = 0;
    int set = -1;
    std::vector<int> kids;
    bool plus = false;     // Repeat: at least once
    bool unbounded = true; // Repeat: false for "?"
    bool greedy = true;
    int group = -1;
};

class CParser {
public:
    CParser(const std::vector<char32_t>& p, std::vector<Node>& nodes,
            std::vector<CAtlRegExp::CharSet>& sets)
        : m_p(p), m_nodes(nodes), m_sets(sets) {}

    RegExpResult m_result = RegExpResult::Ok;
    int m_nGroups = 0;
    bool m_bBackRefs = false;
    std::size_t m_nLookaheads = 0;
    bool m_bAnchorStart = false;

    int ParseWhole() {
        if (!m_p.empty() && m_p[0] == '^') {
            m_bAnchorStart = true;
            m_i = 1;
        }
        const int root = ParseAlt(0);
        if (Ok() && m_i < m_p.size()) {
            // A stray ")" or "}".
            Fail(RegExpResult::UnexpectedSyntax);
        }
        return root;
    }

private:
    bool Ok() const { return m_result == RegExpResult::Ok; }
    int Fail(RegExpResult r) {
        if (Ok()) {
            m_result = r;
        }
        return -1;
    }
    bool AtEnd() const { return m_i >= m_p.size(); }
    char32_t Peek() const { return m_p[m_i]; }

    int Add(Node n) {
        m_nodes.push_back(std::move(n));
        return static_cast<int>(m_nodes.size()) - 1;
    }
    int AddChar(char32_t c) {
        Node n;
        n.kind = Node::Char;
        n.ch = c;
        return Add(std::move(n));
    }
    int AddSet(std::vector<std::pair<char32_t, char32_t>> ranges, bool negated) {
        m_sets.push_back({std::move(ranges), negated});
        Node n;
        n.kind = Node::Set;
        n.set = static_cast<int>(m_sets.size()) - 1;
        return Add(std::move(n));
    }
    int AddList(Node::Kind kind, std::vector<int> kids) {
        Node n;
        n.kind = kind;
        n.kids = std::move(kids);
        return Add(std::move(n));
    }
    int AddRepeat(int kid, bool plus, bool unbounded, bool greedy) {
        Node n;
        n.kind = Node::Repeat;
        n.kids = {kid};
        n.plus = plus;
        n.unbounded = unbounded;
        n.greedy = greedy;
        return Add(std::move(n));
    }

    int ParseAlt(int depth) {
        if (depth > CAtlRegExp::kMaxNesting) {
            return Fail(RegExpResult::OutOfMemory);
        }
        std::vector<int> alts{ParseConcat(depth)};
        while (Ok() && !AtEnd() && Peek() == '|') {
            ++m_i;
            alts.push_back(ParseConcat(depth));
        }
        return alts.size() == 1 ? alts[0] : AddList(Node::Alt, std::move(alts));
    }

    int ParseConcat(int depth) {
        std::vector<int> items;
        while (Ok() && !AtEnd() && Peek() != '|' && Peek() != ')' && Peek() != '}') {
            items.push_back(ParseQuantified(depth));
        }
        if (items.size() == 1) {
            return items[0];
        }
        const Node::Kind kind = items.empty() ? Node::Empty : Node::Concat;
        return AddList(kind, std::move(items));
    }

    int ParseQuantified(int depth) {
        int atom = ParseAtom(depth);
        while (Ok() && !AtEnd() && (Peek() == '*' || Peek() == '+' || Peek() == '?')) {
            const char32_t q = m_p[m_i++];
            bool greedy = true;
            if (!AtEnd() && Peek() == '?') {
                greedy = false;
                ++m_i;
            }
            atom = AddRepeat(atom, q == '+', q != '?', greedy);
        }
        return atom;
    }

    int ParseAtom(int depth) {
        if (depth > CAtlRegExp::kMaxNesting) {
            return Fail(RegExpResult::OutOfMemory);
        }
        if (AtEnd()) {
            return Fail(RegExpResult::UnexpectedSyntax);
        }
        const char32_t c = m_p[m_i];
        switch (c) {
        case '.': {
            ++m_i;
            Node n;
            n.kind = Node::Any;
            return Add(std::move(n));
        }
        case '[':
            return ParseSet();
        case '(': {
            ++m_i;
            const int kid = ParseAlt(depth + 1);
            if (!Ok()) {
                return -1;
            }
            if (AtEnd() || Peek() != ')') {
                return Fail(RegExpResult::ParenExpected);
            }
            ++m_i;
            return kid;
        }
        case '{': {
            ++m_i;
            const int group = m_nGroups++;
            const int kid = ParseAlt(depth + 1);
            if (!Ok()) {
                return -1;
            }
            if (AtEnd() || Peek() != '}') {
                return Fail(RegExpResult::BraceExpected);
            }
            ++m_i;
            Node n;
            n.kind = Node::Group;
            n.group = group;
            n.kids = {kid};
            return Add(std::move(n));
        }
        case ')':
        case '}':
        case '|':
            return Fail(RegExpResult::UnexpectedSyntax);
        case '!': {
            ++m_i;
            if (AtEnd()) {
                return Fail(RegExpResult::UnexpectedSyntax);
            }
            const int kid = ParseAtom(depth + 1);
            if (!Ok()) {
                return -1;
            }
            ++m_nLookaheads;
            Node n;
            n.kind = Node::NotAhead;
            n.kids = {kid};
            return Add(std::move(n));
        }
        case '\\':
            return ParseEscape();
        case '$':
            ++m_i;
            if (m_i == m_p.size()) {
                Node n;
                n.kind = Node::End;
                return Add(std::move(n));
            }
            return AddChar(c);
        default:
            // Includes a quantifier with nothing before it, and "^" anywhere
            // but first: ordinary characters there.
            ++m_i;
            return AddChar(c);
        }
    }

    int ParseEscape() {
        ++m_i;
        if (AtEnd()) {
            return Fail(RegExpResult::UnexpectedSyntax);
        }
        const char32_t e = m_p[m_i++];
        if (e >= '0' && e <= '9') {
            long long group = e - '0';
            while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
                group = std::min<long long>(group * 10 + (Peek() - '0'), 1'000'000'000);
                ++m_i;
            }
            if (group >= m_nGroups) {
                return Fail(RegExpResult::InvalidGroup);
            }
            m_bBackRefs = true;
            Node n;
            n.kind = Node::BackRef;
            n.group = static_cast<int>(group);
            return Add(std::move(n));
        }
        using R = std::vector<std::pair<char32_t, char32_t>>;
        const R letters{{'a', 'z'}, {'A', 'Z'}};
        const R digits{{'0', '9'}};
        switch (e) {
        case 'a':
            return AddSet({{'a', 'z'}, {'A', 'Z'}, {'0', '9'}}, false);
        case 'b':
            return AddSet({{' ', ' '}, {'\t', '\t'}}, false);
        case 'c':
            return AddSet(letters, false);
        case 'd':
            return AddSet(digits, false);
        case 'h':
            return AddSet({{'0', '9'}, {'a', 'f'}, {'A', 'F'}}, false);
        case 'n': {
            const int crlf = AddList(Node::Concat, {AddChar('\r'), AddChar('\n')});
            return AddList(Node::Alt, {crlf, AddChar('\r'), AddChar('\n')});
        }
        case 'q': {
            std::vector<int> quoted;
            for (const char32_t quote : {U'"', U'\''}) {
                const int body = AddRepeat(AddSet({{quote, quote}}, true), false, true, true);
                quoted.push_back(AddList(Node::Concat, {AddChar(quote), body, AddChar(quote)}));
            }
            return AddList(Node::Alt, std::move(quoted));
        }
        case 'w':
            return AddRepeat(AddSet(letters, false), true, true, true);
        case 'z':
            return AddRepeat(AddSet(digits, false), true, true, true);
        default:
            return AddChar(e);
        }
    }

    // After "[": members, ranges, "^" negation, "\t" and "\x" escapes.
    bool ReadSetChar(char32_t& out) {
        if (AtEnd()) {
            return false;
        }
        char32_t c = m_p[m_i++];
        if (c == '\\') {
            if (AtEnd()) {
                return false;
            }
            c = m_p[m_i++];
            if (c == 't') {
                c = '\t';
            }
        }
        out = c;
        return true;
    }

    int ParseSet() {
        ++m_i;
        bool negated = false;
        if (!AtEnd() && Peek() == '^') {
            negated = true;
            ++m_i;
        }
        std::vector<std::pair<char32_t, char32_t>> ranges;
        for (;;) {
            if (AtEnd()) {
                return Fail(RegExpResult::BracketExpected);
            }
            if (Peek() == ']') {
                ++m_i;
                break;
            }
            char32_t lo = 0;
            if (!ReadSetChar(lo)) {
                return Fail(RegExpResult::BracketExpected);
            }
            char32_t hi = lo;
            if (!AtEnd() && Peek() == '-') {
                ++m_i;
                if (AtEnd() || Peek() == ']' || !ReadSetChar(hi)) {
                    return Fail(RegExpResult::BracketExpected);
                }
                if (hi < lo) {
                    return Fail(RegExpResult::InvalidRange);
                }
            }
            ranges.emplace_back(lo, hi);
        }
        if (ranges.empty()) {
            return Fail(RegExpResult::EmptyRange);
        }
        return AddSet(std::move(ranges), negated);
    }

    const std::vector<char32_t>& m_p;
    std::vector<Node>& m_nodes;
    std::vector<CAtlRegExp::CharSet>& m_sets;
    std::size_t m_i = 0;
};

// Nullability (for the "Invalid repeator" check) and tree depth, in one pass
// over the nodes in creation order: kids are always created before their
// parent, and a group before every back-reference that follows it. A
// back-reference is as nullable as its group; one inside its own group sees
// the group as not nullable, which is right because an unset group makes
// the reference fail at run time. Returns Ok, InvalidRepeator, or
// OutOfMemory for a tree too deep for the recursive code generator.
RegExpResult CheckTree(const std::vector<Node>& nodes, int groups) {
    constexpr int kMaxTreeDepth = 4 * CAtlRegExp::kMaxNesting;
    std::vector<bool> nullable(nodes.size(), false);
    std::vector<int> depth(nodes.size(), 1);
    std::vector<bool> groupNullable(static_cast<std::size_t>(groups), false);
    bool badRepeat = false;
    for (std::size_t id = 0; id < nodes.size(); ++id) {
        const Node& n = nodes[id];
        bool all = true;
        bool any = false;
        for (int k : n.kids) {
            const auto kid = static_cast<std::size_t>(k);
            all = all && nullable[kid];
            any = any || nullable[kid];
            depth[id] = std::max(depth[id], depth[kid] + 1);
        }
        if (depth[id] > kMaxTreeDepth) {
            return RegExpResult::OutOfMemory;
        }
        switch (n.kind) {
        case Node::Empty:
        case Node::NotAhead:
        case Node::End:
            nullable[id] = true;
            break;
        case Node::Char:
        case Node::Any:
        case Node::Set:
            break;
        case Node::Concat:
            nullable[id] = all;
            break;
        case Node::Alt:
            nullable[id] = any;
            break;
        case Node::Repeat:
            badRepeat = badRepeat || (any && n.unbounded);
            nullable[id] = any || !n.plus;
            break;
        case Node::Group:
            nullable[id] = any;
            groupNullable[static_cast<std::size_t>(n.group)] = any;
            break;
        case Node::BackRef:
            nullable[id] = groupNullable[static_cast<std::size_t>(n.group)];
            break;
        }
    }
    return badRepeat ? RegExpResult::InvalidRepeator : RegExpResult::Ok;
}

class CCodeGen {
public:
    using Instr = CAtlRegExp::Instr;
    using Op = CAtlRegExp::Op;
    CCodeGen(const std::vector<Node>& nodes, std::vector<Instr>& prog, bool saves)
        : m_nodes(nodes), m_prog(prog), m_bSaves(saves) {}

    void Emit(int id) {
        const Node& n = m_nodes[static_cast<std::size_t>(id)];
        switch (n.kind) {
        case Node::Empty:
            break;
        case Node::Char:
            Push({Op::Char, n.ch});
            break;
        case Node::Any:
            Push({Op::Any});
            break;
        case Node::Set:
            Push({Op::Set, 0, n.set});
            break;
        case Node::End:
            Push({Op::AssertEnd});
            break;
        case Node::Concat:
            for (int k : n.kids) {
                Emit(k);
            }
            break;
        case Node::Alt: {
            std::vector<int> jumps;
            for (std::size_t k = 0; k < n.kids.size(); ++k) {
                if (k + 1 < n.kids.size()) {
                    const int split = Push({Op::Split});
                    At(split).a = Here();
                    Emit(n.kids[k]);
                    jumps.push_back(Push({Op::Jmp}));
                    At(split).b = Here();
                } else {
                    Emit(n.kids[k]);
                }
            }
            for (int j : jumps) {
                At(j).b = Here();
            }
            break;
        }
        case Node::Repeat:
            EmitRepeat(n);
            break;
        case Node::Group:
            if (m_bSaves) {
                Push({Op::Save, 0, 2 * n.group});
            }
            Emit(n.kids[0]);
            if (m_bSaves) {
                Push({Op::Save, 0, 2 * n.group + 1});
            }
            break;
        case Node::BackRef:
            Push({Op::BackRef, 0, n.group});
            break;
        case Node::NotAhead: {
            const int look = Push({Op::NotAhead});
            At(look).a = Here();
            At(look).look = m_nLooks++;
            Emit(n.kids[0]);
            Push({Op::LookMatch});
            At(look).b = Here();
            break;
        }
        }
    }

private:
    // x* : L: split body, out / body / jmp L      (lazy: choices swapped)
    // x+ : L: body / split L, out
    // x? : split body, out / body
    void EmitRepeat(const Node& n) {
        if (n.plus) {
            const int loop = Here();
            Emit(n.kids[0]);
            const int split = Push({Op::Split});
            Choose(split, loop, Here(), n.greedy);
            return;
        }
        const int split = Push({Op::Split});
        const int body = Here();
        Emit(n.kids[0]);
        if (n.unbounded) {
            const int jmp = Push({Op::Jmp});
            At(jmp).b = split;
        }
        Choose(split, body, Here(), n.greedy);
    }
    void Choose(int split, int body, int out, bool greedy) {
        At(split).a = greedy ? body : out;
        At(split).b = greedy ? out : body;
    }
    int Push(Instr in) {
        m_prog.push_back(in);
        return static_cast<int>(m_prog.size()) - 1;
    }
    int Here() const { return static_cast<int>(m_prog.size()); }
    Instr& At(int pc) { return m_prog[static_cast<std::size_t>(pc)]; }

    const std::vector<Node>& m_nodes;
    std::vector<Instr>& m_prog;
    bool m_bSaves;

public:
    int m_nLooks = 0;
};

// Instructions from which no back-reference can be reached: what happens
// from there does not depend on the captures, so such states are memoised
// even while groups hold captures.
std::vector<bool> CaptureFreeInstructions(const std::vector<CAtlRegExp::Instr>& prog) {
    using Op = CAtlRegExp::Op;
    std::vector<bool> dependent(prog.size(), false);
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t pc = prog.size(); pc-- > 0;) {
            const auto& in = prog[pc];
            auto dep = [&](int target) {
                return target >= 0 && static_cast<std::size_t>(target) < prog.size() &&
                       dependent[static_cast<std::size_t>(target)];
            };
            const int next = static_cast<int>(pc) + 1;
            bool d = false;
            switch (in.op) {
            case Op::BackRef:
                d = true;
                break;
            case Op::Split:
                d = dep(in.a) || dep(in.b);
                break;
            case Op::Jmp:
                d = dep(in.b);
                break;
            case Op::NotAhead:
                d = dep(in.a) || dep(in.b);
                break;
            case Op::LookMatch:
            case Op::Match:
                break;
            default:
                d = dep(next);
                break;
            }
            if (d && !dependent[pc]) {
                dependent[pc] = true;
                changed = true;
            }
        }
    }
    std::vector<bool> free(prog.size());
    for (std::size_t pc = 0; pc < prog.size(); ++pc) {
        free[pc] = !dependent[pc];
    }
    return free;
}

} // namespace

bool CAtlRegExp::CharSet::Contains(char32_t c) const {
    bool in = false;
    for (const auto& [lo, hi] : ranges) {
        if (c >= lo && c <= hi) {
            in = true;
            break;
        }
    }
    return in != negated;
}

RegExpResult CAtlRegExp::Compile(std::string_view pattern, bool caseSensitive) {
    m_bCompiled = false;
    m_arrProgram.clear();
    m_arrSets.clear();
    if (pattern.empty()) {
        return RegExpResult::InvalidInput;
    }
    try {
        std::vector<char32_t> p;
        DecodeUtf8(pattern, !caseSensitive, p);
        std::vector<Node> nodes;
        CParser parser(p, nodes, m_arrSets);
        const int root = parser.ParseWhole();
        if (parser.m_result != RegExpResult::Ok) {
            m_arrSets.clear();
            return parser.m_result;
        }
        const RegExpResult checked = CheckTree(nodes, parser.m_nGroups);
        if (checked != RegExpResult::Ok) {
            m_arrSets.clear();
            return checked;
        }
        CCodeGen gen(nodes, m_arrProgram, parser.m_bBackRefs);
        gen.Emit(root);
        m_arrProgram.push_back({Op::Match});
        m_arrCaptureFree = CaptureFreeInstructions(m_arrProgram);
        m_bAnchorStart = parser.m_bAnchorStart;
        m_bCaseSensitive = caseSensitive;
        m_bBackRefs = parser.m_bBackRefs;
        m_nGroups = parser.m_nGroups;
        m_nLookaheads = static_cast<std::size_t>(gen.m_nLooks);
        m_bCompiled = true;
        return RegExpResult::Ok;
    } catch (const std::bad_alloc&) {
        m_arrProgram.clear();
        m_arrSets.clear();
        return RegExpResult::OutOfMemory;
    }
}

bool CAtlRegExp::Match(std::string_view text) {
    m_nLastSteps = 0;
    m_bLastHitCeiling = false;
    if (!m_bCompiled) {
        return false;
    }
    DecodeUtf8(text, !m_bCaseSensitive, m_text);
    const std::size_t width = m_text.size() + 1;
    const std::size_t cells = m_arrProgram.size() * width;
    const std::size_t lookCells = m_bBackRefs ? 0 : m_nLookaheads * width;
    // Epochs make clearing unnecessary. One Match uses one per lookahead
    // evaluation plus one: with back-references evaluations are not cached,
    // but each costs a step. On wrap-around, start afresh.
    const std::uint64_t room = std::numeric_limits<std::uint32_t>::max() - m_nEpoch;
    if (m_visited.size() < cells || m_lookStamp.size() < lookCells ||
        room < lookCells + kStepCeiling + 2) {
        m_visited.assign(std::max(cells, m_visited.size()), 0);
        m_lookStamp.assign(std::max(lookCells, m_lookStamp.size()), 0);
        m_lookResult.assign(m_lookStamp.size(), 0);
        m_nEpoch = 0;
    }
    m_nMatchEpoch = ++m_nEpoch;
    m_lookEpoch.assign(m_bBackRefs ? 0 : m_nLookaheads, 0);
    m_nCapturesSet = 0;
    m_captures.assign(static_cast<std::size_t>(2 * m_nGroups), -1);
    m_stack.clear();
    const int last = m_bAnchorStart ? 0 : static_cast<int>(m_text.size());
    for (int start = 0; start <= last; ++start) {
        if (Run(0, start, 0, m_nMatchEpoch)) {
            return true;
        }
        if (m_bLastHitCeiling) {
            return false;
        }
    }
    return false;
}

bool CAtlRegExp::Visit(int pc, int pos, std::uint32_t epoch) {
    const std::size_t cell =
        static_cast<std::size_t>(pc) * (m_text.size() + 1) + static_cast<std::size_t>(pos);
    if (m_visited[cell] == epoch) {
        return false;
    }
    m_visited[cell] = epoch;
    return true;
}

void CAtlRegExp::UnwindTo(std::size_t base) {
    while (m_stack.size() > base) {
        const Frame f = m_stack.back();
        m_stack.pop_back();
        if (f.pc < 0) {
            m_captures[static_cast<std::size_t>(-f.pc - 1)] = f.pos;
            --m_nCapturesSet;
        }
    }
}

bool CAtlRegExp::LookAhead(const Instr& in, int pos, int depth) {
    if (m_bBackRefs) {
        // The body's captures do not survive a negative lookahead either way.
        const std::vector<int> saved = m_captures;
        const int savedCount = m_nCapturesSet;
        const bool found = Run(in.a, pos, depth + 1, ++m_nEpoch);
        m_captures = saved;
        m_nCapturesSet = savedCount;
        return found;
    }
    const std::size_t cell =
        static_cast<std::size_t>(in.look) * (m_text.size() + 1) + static_cast<std::size_t>(pos);
    if (m_lookStamp[cell] != m_nMatchEpoch) {
        // States marked by evaluations that failed are failures from any
        // start, so they are shared; a success may have marked states on its
        // winning path, so the next evaluation takes a fresh epoch.
        std::uint32_t& epoch = m_lookEpoch[static_cast<std::size_t>(in.look)];
        if (epoch == 0) {
            epoch = ++m_nEpoch;
        }
        const bool found = Run(in.a, pos, depth + 1, epoch);
        if (m_bLastHitCeiling) {
            return false;
        }
        if (found) {
            epoch = 0;
        }
        m_lookStamp[cell] = m_nMatchEpoch;
        m_lookResult[cell] = found ? 1 : 0;
    }
    return m_lookResult[cell] != 0;
}

bool CAtlRegExp::Run(int startPc, int startPos, int depth, std::uint32_t epoch) {
    // The main search shares one epoch over all start positions: a state that
    // failed from one start fails from every start. Lookahead bodies use
    // epochs of their own: their states mean "reaches the body's end".
    const std::size_t base = m_stack.size();
    const int n = static_cast<int>(m_text.size());
    m_stack.push_back({startPc, startPos});
    while (m_stack.size() > base) {
        const Frame f = m_stack.back();
        m_stack.pop_back();
        if (f.pc < 0) {
            m_captures[static_cast<std::size_t>(-f.pc - 1)] = f.pos;
            --m_nCapturesSet;
            continue;
        }
        int pc = f.pc;
        int pos = f.pos;
        for (;;) {
            if (++m_nLastSteps > kStepCeiling) {
                m_bLastHitCeiling = true;
                UnwindTo(base);
                return false;
            }
            const bool memo = !m_bBackRefs || m_nCapturesSet == 0 ||
                              m_arrCaptureFree[static_cast<std::size_t>(pc)];
            if (memo && !Visit(pc, pos, epoch)) {
                break;
            }
            const Instr& in = m_arrProgram[static_cast<std::size_t>(pc)];
            bool ok = true;
            switch (in.op) {
            case Op::Char:
                ok = pos < n && m_text[static_cast<std::size_t>(pos)] == in.ch;
                ++pc, ++pos;
                break;
            case Op::Any:
                ok = pos < n;
                ++pc, ++pos;
                break;
            case Op::Set:
                ok = pos < n && m_arrSets[static_cast<std::size_t>(in.a)].Contains(
                                    m_text[static_cast<std::size_t>(pos)]);
                ++pc, ++pos;
                break;
            case Op::Split:
                m_stack.push_back({in.b, pos});
                pc = in.a;
                break;
            case Op::Jmp:
                pc = in.b;
                break;
            case Op::Save:
                m_stack.push_back({-in.a - 1, m_captures[static_cast<std::size_t>(in.a)]});
                m_captures[static_cast<std::size_t>(in.a)] = pos;
                ++m_nCapturesSet;
                ++pc;
                break;
            case Op::BackRef: {
                const int s = m_captures[static_cast<std::size_t>(2 * in.a)];
                const int e = m_captures[static_cast<std::size_t>(2 * in.a + 1)];
                // A group that has not matched (or is still open) makes the
                // reference fail rather than match empty: no empty loops.
                ok = s >= 0 && e >= s && pos + (e - s) <= n &&
                     std::equal(m_text.begin() + s, m_text.begin() + e, m_text.begin() + pos);
                pos += e - s;
                ++pc;
                break;
            }
            case Op::NotAhead: {
                const bool found = LookAhead(in, pos, depth);
                if (m_bLastHitCeiling) {
                    UnwindTo(base);
                    return false;
                }
                ok = !found;
                pc = in.b;
                break;
            }
            case Op::AssertEnd:
                ok = pos == n;
                ++pc;
                break;
            case Op::LookMatch:
            case Op::Match:
                UnwindTo(base);
                return true;
            }
            if (!ok) {
                break;
            }
        }
    }
    return false;
}

} // namespace varnolt
