#include "Json.h"

#include <cwchar>

namespace {

// Deeper nesting than any listing has is refused rather than followed, so a
// hostile file cannot exhaust the stack.
const int kMaxDepth = 32;

class Reader {
public:
    explicit Reader(const std::wstring& text) : m_text(text) {}

    bool Document(JsonValueNode& value, std::wstring& error) {
        if (Value(value, 0) && (Skip(), m_pos == m_text.size())) return true;
        error = (m_problem.empty() ? L"unexpected text" : m_problem) + L" at character " + std::to_wstring(m_pos + 1);
        return false;
    }

private:
    void Skip() {
        while (m_pos < m_text.size() && wcschr(L" \t\r\n\xFEFF", m_text[m_pos]) && m_text[m_pos]) ++m_pos;
    }
    bool Fail(const wchar_t* problem) {
        if (m_problem.empty()) m_problem = problem;
        return false;
    }
    bool Take(wchar_t c) {
        Skip();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Word(const wchar_t* word) {
        size_t n = wcslen(word);
        if (m_text.compare(m_pos, n, word) != 0) return Fail(L"unknown word");
        m_pos += n;
        return true;
    }

    bool Value(JsonValueNode& value, int depth) {
        if (depth > kMaxDepth) return Fail(L"nesting too deep");
        Skip();
        if (m_pos >= m_text.size()) return Fail(L"unexpected end");
        wchar_t c = m_text[m_pos];
        if (c == L'{') return Object(value, depth);
        if (c == L'[') return Array(value, depth);
        if (c == L'"') {
            value.type = JsonType::String;
            return String(value.text);
        }
        if (c == L't' || c == L'f') {
            value.type = JsonType::Bool;
            value.flag = c == L't';
            return Word(value.flag ? L"true" : L"false");
        }
        if (c == L'n') return Word(L"null");
        return Number(value);
    }

    bool Number(JsonValueNode& value) {
        size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == L'-') ++m_pos;
        while (m_pos < m_text.size() && wcschr(L"0123456789.eE+-", m_text[m_pos]) && m_text[m_pos]) ++m_pos;
        if (m_pos == start) return Fail(L"a value was expected");
        value.type = JsonType::Number;
        value.text = m_text.substr(start, m_pos - start);
        return true;
    }

    bool Hex4(unsigned& code) {
        if (m_pos + 4 > m_text.size()) return Fail(L"short \\u escape");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            wchar_t h = m_text[m_pos++];
            unsigned digit = h >= L'0' && h <= L'9'   ? h - L'0'
                             : h >= L'a' && h <= L'f' ? h - L'a' + 10
                             : h >= L'A' && h <= L'F' ? h - L'A' + 10
                                                      : 16u;
            if (digit > 15) return Fail(L"bad \\u escape");
            code = code * 16 + digit;
        }
        return true;
    }

    bool String(std::wstring& out) {
        ++m_pos;  // the opening quote
        out.clear();
        while (m_pos < m_text.size()) {
            wchar_t c = m_text[m_pos++];
            if (c == L'"') return true;
            if (c < 0x20) return Fail(L"control character in a string");
            if (c != L'\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) break;
            wchar_t e = m_text[m_pos++];
            static const wchar_t kEscapes[] = L"\"\\/bfnrt";
            static const wchar_t kMeanings[] = L"\"\\/\b\f\n\r\t";
            const wchar_t* plain = e ? wcschr(kEscapes, e) : nullptr;
            if (plain) {
                out += kMeanings[plain - kEscapes];
            } else if (e == L'u') {
                unsigned code = 0;
                if (!Hex4(code)) return false;
                out += static_cast<wchar_t>(code);  // UTF-16 text: a surrogate pair arrives as two escapes
            } else {
                return Fail(L"bad escape");
            }
        }
        return Fail(L"unterminated string");
    }

    bool Array(JsonValueNode& value, int depth) {
        ++m_pos;
        value.type = JsonType::Array;
        if (Take(L']')) return true;
        do {
            value.elements.emplace_back();
            if (!Value(value.elements.back(), depth + 1)) return false;
        } while (Take(L','));
        return Take(L']') || Fail(L"',' or ']' expected");
    }

    bool Object(JsonValueNode& value, int depth) {
        ++m_pos;
        value.type = JsonType::Object;
        if (Take(L'}')) return true;
        do {
            Skip();
            std::wstring key;
            if (m_pos >= m_text.size() || m_text[m_pos] != L'"') return Fail(L"a member name was expected");
            if (!String(key)) return false;
            if (!Take(L':')) return Fail(L"':' expected");
            value.members.emplace_back(key, JsonValueNode());
            if (!Value(value.members.back().second, depth + 1)) return false;
        } while (Take(L','));
        return Take(L'}') || Fail(L"',' or '}' expected");
    }

    const std::wstring& m_text;
    size_t m_pos = 0;
    std::wstring m_problem;
};

}  // namespace

bool ParseJson(const std::wstring& text, JsonValueNode& value, std::wstring& error) {
    value = JsonValueNode();
    return Reader(text).Document(value, error);
}
