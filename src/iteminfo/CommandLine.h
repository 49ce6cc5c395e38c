// From the text of an autostart entry (a command line, a driver image path, a
// rundll32 call, a bare name) to the file it starts. Candidate file names are found
// with five fixed patterns; entry resolution hands the first one found to path
// normalisation, which decides whether the file exists.
#pragma once

#include <string>
#include <vector>

namespace kiv {

// The patterns, exactly as the extraction uses them.
extern const wchar_t kPathListPattern[];   // drive paths in a list or followed by arguments; case ignored
extern const wchar_t kRundll32Pattern[];   // the rest of a rundll32 call; case ignored
extern const wchar_t kDllNamePattern[];    // the library a rundll32 call loads; case significant
extern const wchar_t kBareNamePattern[];   // a name with an extension; case ignored
extern const wchar_t kDrivePathPattern[];  // a drive path without a known extension; case ignored

// At most this many characters of an entry reach the patterns.
const size_t kMaxPatternInput = 2048;

// Replaces text by the existing file the entry starts; 1 when found. The text holds
// what normalisation made of the first candidate, also when the result is 0. A text
// of white space only yields no candidate: the result is 1 and the text stays.
// wow64 set: the entry belongs to a 32-bit program (see NormalizePath).
int ResolveEntry(std::wstring& text, unsigned char wow64);

// The candidate file names of a command line in the order found, without duplicates,
// none holding a double quote. Always true.
bool ExtractFiles(const std::wstring& text, std::vector<std::wstring>& files);

// Ordered candidates: a candidate is trimmed of blanks and cut at a double quote
// (an opening quote is dropped first); empty ones and repeats are not kept.
class CandidateList {
public:
    void Insert(const std::wstring& text);
    const std::vector<std::wstring>& Items() const { return m_items; }

private:
    std::vector<std::wstring> m_items;
};

// The library that a rundll32 call loads, then the drive paths behind it. False when
// the subject does not name rundll32.
bool ExtractRundll32(const std::wstring& subject, CandidateList& found);

// Every drive path the path-list pattern finds, the search going on behind each
// match. False when it finds none.
bool ExtractPathList(const std::wstring& subject, CandidateList& found);

}  // namespace kiv
