// The regular-expression engine of the command-line file extraction: Perl syntax
// over wide text, leftmost-first choice among alternatives and repeats, captures.
//
// It backtracks like Perl but remembers every (instruction, position) pair it has
// already tried, so a search takes at most (program size x text length) steps and
// its backtracking lives in a heap vector, not on the call stack. A hostile command
// line therefore costs time linear in its length per search and cannot overflow
// the stack of the collecting thread.
//
// Supported: literals; "." (anything but a line feed); escapes \w \W \d \D \s \S,
// \t \n \r \f \v \e \a and a backslash before any other non-alphanumeric character;
// bracket expressions with negation, ranges (Perl's reading, so [,-\\] runs from
// the comma to the backslash) and the class escapes; capturing and (?: groups;
// alternation; * + ? {n} {n,} {n,m}, each greedy or lazy with a trailing ?; a
// case-insensitive mode (ASCII letters). \w also takes non-ASCII letters and digits.
// Anchors, look-around, back-references and other (? forms make a pattern invalid.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

struct PatternMatch {
    size_t start = 0;   // offset of the match in the searched text
    size_t length = 0;  // characters the match covers
    // Index 0 is the whole match, then one text per capturing group in the order of
    // their opening parentheses; a group that did not take part is empty.
    std::vector<std::wstring> groups;
    // Work the search did (instructions followed and branches taken up), whether it
    // matched or not; never more than (3 x ProgramSize() + 2) x (text length + 1).
    size_t steps = 0;
};

class CPattern {
public:
    CPattern(const std::wstring& pattern, bool ignoreCase);
    ~CPattern();
    CPattern(const CPattern&) = delete;
    CPattern& operator=(const CPattern&) = delete;

    // False when the pattern uses syntax the engine does not know; it then never matches.
    bool Valid() const;
    size_t GroupCount() const;
    // Instructions of the compiled form; 0 for an invalid pattern.
    size_t ProgramSize() const;

    // Leftmost match in text[0, length). A const search may run on several threads at
    // once. Texts longer than kMaxSearchLength are refused (no match): the memory of a
    // search grows with the text, and callers bound what they search far below that.
    static constexpr size_t kMaxSearchLength = 65536;
    bool Search(const wchar_t* text, size_t length, PatternMatch& match) const;
    bool Search(const std::wstring& text, PatternMatch& match) const;

    struct Program;  // the compiled form, private to the engine's source

private:
    std::unique_ptr<Program> m_program;
};

}  // namespace kiv
