#include "pattern/Pattern.h"

#include <windows.h>

#include <cstdint>
#include <utility>

#include "platform/Text.h"

namespace kiv {
namespace {

const int kMaxRepeatCount = 1000;
const size_t kMaxProgramSize = 20000;
const int kMaxNesting = 200;

enum class Op : unsigned char { Char, Any, Class, Split, Jump, Save, Match };

struct Inst {
    Op op;
    wchar_t ch;  // Char: the character
    int x;       // Class: class index; Split: preferred branch; Jump: target; Save: slot
    int y;       // Split: the other branch
};

enum ClassEscape { NoEscape = 0, Word = 1, NotWord = 2, Digit = 4, NotDigit = 8, Space = 16, NotSpace = 32 };

struct CharClass {
    bool negated = false;
    int escapes = NoEscape;  // class escapes written inside the brackets
    std::vector<std::pair<wchar_t, wchar_t>> ranges;
};

struct Node {
    enum Kind { Empty, Char, Any, Class, Group, Concat, Alt, Repeat } kind = Empty;
    wchar_t ch = 0;
    int index = -1;        // Class: class index; Group: capture number, -1 when not capturing
    int min = 0, max = 0;  // Repeat: max -1 means no limit
    bool greedy = true;
    std::vector<std::unique_ptr<Node>> children;
};

bool IsAsciiAlnum(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool IsWordChar(wchar_t c) {
    if (c < 0x80) return IsAsciiAlnum(c) || c == L'_';
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & (C1_ALPHA | C1_DIGIT)) != 0;
}
bool IsDigitChar(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsSpaceChar(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

bool EscapesMatch(int escapes, wchar_t c) {
    return ((escapes & Word) && IsWordChar(c)) || ((escapes & NotWord) && !IsWordChar(c)) ||
           ((escapes & Digit) && IsDigitChar(c)) || ((escapes & NotDigit) && !IsDigitChar(c)) ||
           ((escapes & Space) && IsSpaceChar(c)) || ((escapes & NotSpace) && !IsSpaceChar(c));
}

bool InClass(const CharClass& cls, wchar_t c) {
    if (EscapesMatch(cls.escapes, c)) return true;
    for (const auto& range : cls.ranges)
        if (c >= range.first && c <= range.second) return true;
    return false;
}

// Reads a pattern into a tree; any syntax the engine does not know clears m_ok.
class Parser {
public:
    Parser(const std::wstring& text, std::vector<CharClass>& classes) : m_text(text), m_classes(classes) {}

    std::unique_ptr<Node> Parse(int& groupCount) {
        std::unique_ptr<Node> root = ParseAlternation(0);
        if (m_pos != m_text.size()) m_ok = false;  // a ")" without its "("
        groupCount = m_groups;
        if (!m_ok) return nullptr;
        return root;
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    wchar_t Peek(size_t ahead = 0) const { return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : L'\0'; }

    std::unique_ptr<Node> MakeNode(Node::Kind kind) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        return node;
    }

    std::unique_ptr<Node> ParseAlternation(int depth) {
        if (depth > kMaxNesting) {
            m_ok = false;
            return MakeNode(Node::Empty);
        }
        auto alt = MakeNode(Node::Alt);
        alt->children.push_back(ParseConcat(depth));
        while (m_ok && Peek() == L'|') {
            ++m_pos;
            alt->children.push_back(ParseConcat(depth));
        }
        if (alt->children.size() == 1) return std::move(alt->children.front());
        return alt;
    }

    std::unique_ptr<Node> ParseConcat(int depth) {
        auto concat = MakeNode(Node::Concat);
        while (m_ok && !AtEnd() && Peek() != L'|' && Peek() != L')') concat->children.push_back(ParseRepeat(depth));
        return concat;
    }

    std::unique_ptr<Node> ParseRepeat(int depth) {
        std::unique_ptr<Node> atom = ParseAtom(depth);
        int min = 0, max = 0;
        if (!m_ok || !ParseQuantifier(min, max)) return atom;
        auto repeat = MakeNode(Node::Repeat);
        repeat->min = min;
        repeat->max = max;
        if (Peek() == L'?') {
            repeat->greedy = false;
            ++m_pos;
        }
        // Possessive and stacked quantifiers are not supported.
        int ignoredMin = 0, ignoredMax = 0;
        if (Peek() == L'+' || ParseQuantifier(ignoredMin, ignoredMax)) m_ok = false;
        repeat->children.push_back(std::move(atom));
        return repeat;
    }

    // *, +, ? or a counted form; a "{" that does not start a valid count is a literal.
    bool ParseQuantifier(int& min, int& max) {
        wchar_t c = Peek();
        if (c == L'*' || c == L'+' || c == L'?') {
            ++m_pos;
            min = c == L'+' ? 1 : 0;
            max = c == L'?' ? 1 : -1;
            return true;
        }
        return c == L'{' && ParseCount(min, max);
    }

    bool ParseNumber(size_t& pos, int& value) const {
        size_t begin = pos;
        value = 0;
        while (pos < m_text.size() && IsDigitChar(m_text[pos]) && value <= kMaxRepeatCount)
            value = value * 10 + (m_text[pos++] - L'0');
        return pos > begin;
    }

    bool ParseCount(int& min, int& max) {
        size_t pos = m_pos + 1;
        if (!ParseNumber(pos, min)) return false;
        max = min;
        if (pos < m_text.size() && m_text[pos] == L',') {
            ++pos;
            if (!ParseNumber(pos, max)) max = -1;
        }
        if (pos >= m_text.size() || m_text[pos] != L'}') return false;
        m_pos = pos + 1;
        if (min > kMaxRepeatCount || max > kMaxRepeatCount || (max != -1 && max < min)) m_ok = false;
        return true;
    }

    // After a backslash: a literal character, or a class escape in escape.
    bool ParseEscape(wchar_t& literal, int& escape) {
        if (AtEnd()) return false;
        wchar_t c = m_text[m_pos++];
        escape = NoEscape;
        switch (c) {
        case L'w':
            escape = Word;
            return true;
        case L'W':
            escape = NotWord;
            return true;
        case L'd':
            escape = Digit;
            return true;
        case L'D':
            escape = NotDigit;
            return true;
        case L's':
            escape = Space;
            return true;
        case L'S':
            escape = NotSpace;
            return true;
        case L't':
            literal = L'\t';
            return true;
        case L'n':
            literal = L'\n';
            return true;
        case L'r':
            literal = L'\r';
            return true;
        case L'f':
            literal = L'\f';
            return true;
        case L'v':
            literal = L'\v';
            return true;
        case L'e':
            literal = L'\x1B';
            return true;
        case L'a':
            literal = L'\a';
            return true;
        default:
            literal = c;
            return !IsAsciiAlnum(c);  // anchors, back-references and the like are not supported
        }
    }

    std::unique_ptr<Node> ClassNode(CharClass cls) {
        auto node = MakeNode(Node::Class);
        node->index = static_cast<int>(m_classes.size());
        m_classes.push_back(std::move(cls));
        return node;
    }

    std::unique_ptr<Node> ParseGroup(int depth) {
        auto group = MakeNode(Node::Group);
        if (Peek() == L'?') {
            if (Peek(1) != L':') {
                m_ok = false;
                return group;
            }
            m_pos += 2;
        } else {
            group->index = ++m_groups;
        }
        group->children.push_back(ParseAlternation(depth + 1));
        if (Peek() != L')') m_ok = false;
        ++m_pos;
        return group;
    }

    std::unique_ptr<Node> ParseAtom(int depth) {
        wchar_t c = m_text[m_pos++];
        switch (c) {
        case L'(':
            return ParseGroup(depth);
        case L'[': {
            CharClass cls;
            if (!ParseClass(cls)) m_ok = false;
            return ClassNode(std::move(cls));
        }
        case L'.':
            return MakeNode(Node::Any);
        case L'*':
        case L'+':
        case L'?':
        case L'^':
        case L'$':
            m_ok = false;
            return MakeNode(Node::Empty);
        case L'\\': {
            wchar_t literal = 0;
            int escape = NoEscape;
            if (!ParseEscape(literal, escape)) m_ok = false;
            if (escape != NoEscape) {
                CharClass cls;
                cls.escapes = escape;
                return ClassNode(std::move(cls));
            }
            c = literal;
            break;
        }
        default:
            break;
        }
        auto node = MakeNode(Node::Char);
        node->ch = c;
        return node;
    }

    // One member of a bracket expression: a character (isChar) or a class escape.
    bool ParseClassMember(wchar_t& c, int& escape, bool& isChar) {
        c = m_text[m_pos++];
        escape = NoEscape;
        isChar = true;
        if (c != L'\\') return true;
        if (!ParseEscape(c, escape)) return false;
        isChar = escape == NoEscape;
        return true;
    }

    bool ParseClass(CharClass& cls) {
        if (Peek() == L'^') {
            cls.negated = true;
            ++m_pos;
        }
        bool first = true;
        while (!AtEnd() && (Peek() != L']' || first)) {
            first = false;
            wchar_t low = 0, high = 0;
            int escape = NoEscape;
            bool isChar = true;
            if (!ParseClassMember(low, escape, isChar)) return false;
            if (!isChar) {
                cls.escapes |= escape;
                continue;
            }
            high = low;
            // A hyphen between two characters makes a range; elsewhere it stands for itself.
            if (Peek() == L'-' && Peek(1) != L']' && m_pos + 1 < m_text.size()) {
                size_t save = m_pos++;
                if (!ParseClassMember(high, escape, isChar)) return false;
                if (!isChar) {
                    m_pos = save;
                    high = low;
                } else if (high < low) {
                    return false;
                }
            }
            cls.ranges.emplace_back(low, high);
        }
        if (AtEnd()) return false;
        ++m_pos;  // the closing bracket
        return true;
    }

    const std::wstring& m_text;
    std::vector<CharClass>& m_classes;
    size_t m_pos = 0;
    bool m_ok = true;
    int m_groups = 0;
};

}  // namespace

struct CPattern::Program {
    std::vector<Inst> code;
    std::vector<CharClass> classes;
    size_t groups = 0;
    bool ignoreCase = false;
    bool valid = false;

    int Emit(Op op, wchar_t ch = 0, int x = 0, int y = 0) {
        code.push_back(Inst{op, ch, x, y});
        return static_cast<int>(code.size()) - 1;
    }
    int Next() const { return static_cast<int>(code.size()); }

    bool Compile(const Node& node) {
        if (code.size() > kMaxProgramSize) return false;
        switch (node.kind) {
        case Node::Empty:
            return true;
        case Node::Char:
            Emit(Op::Char, node.ch);
            return true;
        case Node::Any:
            Emit(Op::Any);
            return true;
        case Node::Class:
            Emit(Op::Class, 0, node.index);
            return true;
        case Node::Concat:
            for (const auto& child : node.children)
                if (!Compile(*child)) return false;
            return true;
        case Node::Group:
            return CompileGroup(node);
        case Node::Alt:
            return CompileAlternation(node);
        case Node::Repeat:
            return CompileRepeat(node);
        }
        return false;
    }

    bool CompileGroup(const Node& node) {
        if (node.index >= 0) Emit(Op::Save, 0, 2 * node.index);
        if (!Compile(*node.children.front())) return false;
        if (node.index >= 0) Emit(Op::Save, 0, 2 * node.index + 1);
        return true;
    }

    // Each alternative is tried before the ones after it.
    bool CompileAlternation(const Node& node) {
        std::vector<int> jumps;
        for (size_t i = 0; i < node.children.size(); ++i) {
            int split = -1;
            if (i + 1 < node.children.size()) split = Emit(Op::Split, 0, 0, 0);
            if (split >= 0) code[split].x = Next();
            if (!Compile(*node.children[i])) return false;
            if (i + 1 < node.children.size()) {
                jumps.push_back(Emit(Op::Jump));
                code[split].y = Next();
            }
        }
        for (int jump : jumps) code[jump].x = Next();
        return true;
    }

    // The split of a repeat prefers one more round when greedy, leaving when lazy.
    void SetSplit(int split, int again, int leave, bool greedy) {
        code[split].x = greedy ? again : leave;
        code[split].y = greedy ? leave : again;
    }

    bool CompileRepeat(const Node& node) {
        const Node& body = *node.children.front();
        for (int i = 0; i < node.min; ++i)
            if (!Compile(body)) return false;
        if (node.max == -1) {
            int split = Emit(Op::Split);
            if (!Compile(body)) return false;
            Emit(Op::Jump, 0, split);
            SetSplit(split, split + 1, Next(), node.greedy);
            return true;
        }
        std::vector<int> splits;
        for (int i = node.min; i < node.max; ++i) {
            splits.push_back(Emit(Op::Split));
            if (!Compile(body)) return false;
        }
        for (int split : splits) SetSplit(split, split + 1, Next(), node.greedy);
        return true;
    }

    bool SameChar(wchar_t a, wchar_t b) const { return a == b || (ignoreCase && AsciiLower(a) == AsciiLower(b)); }

    bool ClassMatches(const CharClass& cls, wchar_t c) const {
        bool in = InClass(cls, c) || (ignoreCase && (InClass(cls, AsciiLower(c)) || InClass(cls, AsciiUpper(c))));
        return in != cls.negated;
    }

    bool Consumes(const Inst& inst, wchar_t c) const {
        switch (inst.op) {
        case Op::Char:
            return SameChar(c, inst.ch);
        case Op::Any:
            return c != L'\n';
        case Op::Class:
            return ClassMatches(classes[inst.x], c);
        default:
            return false;
        }
    }
};

namespace {

// One entry of the backtracking stack: a branch still to try, or a capture slot
// to put back when the branch that set it has failed.
struct Job {
    int pc;
    size_t pos;
    bool restore;
};

// The search state of one call: captures, the tried (instruction, position) pairs
// and the backtracking stack.
struct SearchState {
    const CPattern::Program& program;
    const wchar_t* text;
    size_t length;
    std::vector<size_t> captures;
    std::vector<uint64_t> tried;
    std::vector<Job> stack;
    size_t steps = 0;

    // Marks the pair as tried; false when it was tried before, which means it cannot
    // lead to a match now either (nothing in a pattern looks back at earlier choices).
    bool FirstVisit(int pc, size_t pos) {
        size_t bit = static_cast<size_t>(pc) * (length + 1) + pos;
        uint64_t mask = uint64_t(1) << (bit % 64);
        if (tried[bit / 64] & mask) return false;
        tried[bit / 64] |= mask;
        return true;
    }

    // Follows the preferred path from (pc, pos), pushing the others; true at a match.
    bool Follow(int pc, size_t pos) {
        for (;;) {
            ++steps;
            if (!FirstVisit(pc, pos)) return false;
            const Inst& inst = program.code[pc];
            switch (inst.op) {
            case Op::Match:
                return true;
            case Op::Jump:
                pc = inst.x;
                break;
            case Op::Split:
                stack.push_back(Job{inst.y, pos, false});
                pc = inst.x;
                break;
            case Op::Save:
                stack.push_back(Job{inst.x, captures[inst.x], true});
                captures[inst.x] = pos;
                ++pc;
                break;
            default:
                if (pos >= length || !program.Consumes(inst, text[pos])) return false;
                ++pc;
                ++pos;
                break;
            }
        }
    }

    bool MatchAt(size_t start) {
        stack.clear();
        stack.push_back(Job{0, start, false});
        while (!stack.empty()) {
            Job job = stack.back();
            stack.pop_back();
            ++steps;
            if (job.restore) {
                captures[job.pc] = job.pos;
                continue;
            }
            if (Follow(job.pc, job.pos)) return true;
        }
        return false;
    }
};

}  // namespace

CPattern::CPattern(const std::wstring& pattern, bool ignoreCase) : m_program(std::make_unique<Program>()) {
    Program& program = *m_program;
    program.ignoreCase = ignoreCase;
    int groups = 0;
    Parser parser(pattern, program.classes);
    std::unique_ptr<Node> root = parser.Parse(groups);
    if (!root) return;
    program.groups = static_cast<size_t>(groups);
    // The whole match is group 0, kept in slots 0 and 1 like the others.
    program.Emit(Op::Save, 0, 0);
    if (!program.Compile(*root) || program.code.size() > kMaxProgramSize) {
        program.code.clear();
        return;
    }
    program.Emit(Op::Save, 0, 1);
    program.Emit(Op::Match);
    program.valid = true;
}

CPattern::~CPattern() = default;

bool CPattern::Valid() const { return m_program->valid; }

size_t CPattern::GroupCount() const { return m_program->groups; }

size_t CPattern::ProgramSize() const { return m_program->valid ? m_program->code.size() : 0; }

bool CPattern::Search(const std::wstring& text, PatternMatch& match) const {
    return Search(text.c_str(), text.size(), match);
}

bool CPattern::Search(const wchar_t* text, size_t length, PatternMatch& match) const {
    const Program& program = *m_program;
    match.steps = 0;
    if (!program.valid || length > kMaxSearchLength) return false;
    SearchState state{program, text, length, {}, {}, {}, 0};
    state.captures.assign(2 * (program.groups + 1), std::wstring::npos);
    state.tried.assign((program.code.size() * (length + 1) + 63) / 64, 0);
    for (size_t start = 0; start <= length; ++start) {
        bool found = state.MatchAt(start);
        match.steps = state.steps;
        if (!found) continue;
        match.start = state.captures[0];
        match.length = state.captures[1] - state.captures[0];
        match.groups.assign(program.groups + 1, std::wstring());
        for (size_t group = 0; group <= program.groups; ++group) {
            size_t begin = state.captures[2 * group], end = state.captures[2 * group + 1];
            if (begin != std::wstring::npos && end != std::wstring::npos && end >= begin)
                match.groups[group].assign(text + begin, end - begin);
        }
        return true;
    }
    return false;
}

}  // namespace kiv
