#include "iteminfo/CommandLine.h"

#include <windows.h>

#include <algorithm>
#include <exception>

#include "iteminfo/PathNormalize.h"
#include "pattern/Pattern.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kiv {

const wchar_t kPathListPattern[] =
    LR"re((\w:\\.+?\.(?:exe|msi|dll|inf|sys|drv|bin|ocx|lnk|cpl|ani|cur))(?:[ ]+-|,| )+|(?:(\w:\\.+?\.[\w\d]+)(?:"|[,-\\]+[\d]+(?: |::)|::))+|(\w:\\.+?)(?:\"| %[\d]+| /|::|,[\d]+::|;\w:\\| -\w)+)re";
const wchar_t kRundll32Pattern[] = LR"re(rundll32(?:\.exe){0,1}(.+))re";
const wchar_t kDllNamePattern[] = LR"re(((?:\w:\\)*[\w\d }{\\\.\-\)\(?:%_~#]+\.[\w\d_~#]+[^",\/;]))re";
const wchar_t kBareNamePattern[] = LR"re(([\w\d\. ~]+\.[\w\d]+[^",\\\/;]))re";
const wchar_t kDrivePathPattern[] = LR"re((\w:\\[\w\d }{\\\.\-\)\(%_~#]+[^",\/;]))re";

namespace {

const size_t npos = std::wstring::npos;
const wchar_t kWhiteSpace[] = L" \t\n\v\f\r";  // white space of the "C" locale

// Each pattern is compiled on first use and then only read; the function-local
// static makes the first use safe when two threads get there together.
const CPattern& PathListPattern() {
    static const CPattern pattern(kPathListPattern, true);
    return pattern;
}
const CPattern& Rundll32Pattern() {
    static const CPattern pattern(kRundll32Pattern, true);
    return pattern;
}
const CPattern& DllNamePattern() {
    static const CPattern pattern(kDllNamePattern, false);
    return pattern;
}
const CPattern& BareNamePattern() {
    static const CPattern pattern(kBareNamePattern, true);
    return pattern;
}
const CPattern& DrivePathPattern() {
    static const CPattern pattern(kDrivePathPattern, true);
    return pattern;
}

// A switch such as /d or -sta before the library name is an option of rundll32,
// not part of the name.
std::wstring SkipSwitches(const std::wstring& rest) {
    size_t pos = rest.find_first_not_of(kBlanks);
    if (pos == npos || (rest[pos] != L'/' && rest[pos] != L'-')) return rest;
    while (pos != npos && (rest[pos] == L'/' || rest[pos] == L'-')) {
        size_t end = rest.find_first_of(kBlanks, pos);
        pos = end == npos ? npos : rest.find_first_not_of(kBlanks, end);
    }
    return pos == npos ? std::wstring() : rest.substr(pos);
}

// The longest of the three alternatives' paths (one of them took part).
std::wstring LongestGroup(const PatternMatch& match) {
    std::wstring first = Trim(match.groups[1], kBlanks);
    std::wstring second = Trim(match.groups[2], kBlanks);
    std::wstring third = Trim(match.groups[3], kBlanks);
    if (first.size() > second.size() && first.size() > third.size()) return first;
    return second.size() > third.size() ? second : third;
}

// Neither rundll32 nor a drive path: a name with an extension, a drive path, or the
// text itself, which normalisation may still find in the search folders.
void InsertFallback(const std::wstring& subject, const std::wstring& text, CandidateList& found) {
    PatternMatch match;
    if (BareNamePattern().Search(subject, match) || DrivePathPattern().Search(subject, match))
        found.Insert(match.groups[1]);
    else found.Insert(text);
}

// An entry that is one path as it stands (a driver image path with dots or hyphens
// in its folders, an unquoted path with spaces, a bare name) is taken whole: the
// patterns would cut it at a space or a dot. Quoted texts and rundll32 calls are
// command lines by their form and go to the patterns.
bool ResolveWholeText(std::wstring& text, unsigned char wow64) {
    if (text.find(L'"') != npos || ContainsNoCase(text, L"rundll32")) return false;
    std::wstring candidate = Trim(text, kWhiteSpace);
    if (candidate.empty() || !NormalizePath(candidate, wow64) || IsFolder(candidate)) return false;
    text = candidate;
    return true;
}

}  // namespace

void CandidateList::Insert(const std::wstring& text) {
    std::wstring candidate = Trim(text, kBlanks);
    if (!candidate.empty() && candidate[0] == L'"') candidate.erase(0, 1);
    size_t quote = candidate.find(L'"');
    if (quote != npos) candidate.resize(quote);
    candidate = Trim(candidate, kBlanks);
    if (candidate.empty() || std::find(m_items.begin(), m_items.end(), candidate) != m_items.end()) return;
    m_items.push_back(candidate);
}

bool ExtractRundll32(const std::wstring& subject, CandidateList& found) {
    PatternMatch match;
    if (!Rundll32Pattern().Search(subject, match)) return false;
    std::wstring rest = SkipSwitches(match.groups[1]);
    if (!DllNamePattern().Search(rest, match)) return true;
    std::wstring name = match.groups[1];
    if (!name.empty() && name.back() == L'\\') name.pop_back();
    found.Insert(name);
    ExtractPathList(rest.substr(std::min(match.start + match.length, rest.size())), found);
    return true;
}

bool ExtractPathList(const std::wstring& subject, CandidateList& found) {
    // The two colons let the terminators of the pattern match at the end of the text.
    const std::wstring work = subject + L"::";
    const CPattern& pattern = PathListPattern();
    PatternMatch match;
    size_t offset = 0;  // the part of the work text before offset has been cut away
    if (!pattern.Search(work, match)) return false;
    do {
        found.Insert(LongestGroup(match));
        // The last three characters of a match stay: they may begin the next path
        // (the "D:\" of ";D:\").
        size_t cut = std::max<size_t>(match.start + match.length, 3) - 3;
        if (cut == 0) break;
        offset = std::min(offset + cut, work.size());
    } while (pattern.Search(work.c_str() + offset, work.size() - offset, match));
    return true;
}

bool ExtractFiles(const std::wstring& text, std::vector<std::wstring>& files) {
    files.clear();
    // Bounded before and after the expansion: a hostile entry costs no more than a
    // long ordinary one.
    std::wstring subject = text.substr(0, kMaxPatternInput) + L" ";
    ExpandPath(subject);
    if (subject.size() > kMaxPatternInput) subject.resize(kMaxPatternInput);
    subject.erase(subject.find_last_not_of(kWhiteSpace) + 1);
    if (subject.empty()) return true;
    CandidateList found;
    if (!ExtractRundll32(subject, found) && !ExtractPathList(subject, found)) InsertFallback(subject, text, found);
    files = found.Items();
    return true;
}

int ResolveEntry(std::wstring& text, unsigned char wow64) {
    try {
        if (text.empty()) return 0;
        if (ResolveWholeText(text, wow64)) return 1;
        std::vector<std::wstring> files;
        ExtractFiles(text, files);
        // Only a blank entry yields nothing by design; any other text that yields no
        // candidate (a rundll32 call without a library) names no file.
        if (files.empty()) return text.find_first_not_of(kWhiteSpace) == npos ? 1 : 0;
        text = files.front();
        return NormalizePath(text, wow64) ? 1 : 0;
    } catch (const std::exception&) {
        return 0;  // out of memory: no file found
    }
}

}  // namespace kiv
