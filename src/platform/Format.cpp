#include "platform/Format.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace kiv {
namespace {

enum class Length { None, Short, Long, LongLong, LongDouble, Size };

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
};

template <typename Ch>
struct TextOf;
template <>
struct TextOf<wchar_t> {
    static size_t Len(const wchar_t* s) { return wcslen(s); }
};
template <>
struct TextOf<char> {
    static size_t Len(const char* s) { return strlen(s); }
};

// Numbers and other text are gathered as 8-bit pieces first; widening ASCII is exact.
template <typename Ch>
void AppendAscii(std::basic_string<Ch>& out, const std::string& text) {
    for (char c : text) out.push_back(static_cast<Ch>(static_cast<unsigned char>(c)));
}

template <typename Ch>
void AppendPadded(std::basic_string<Ch>& out, const std::basic_string<Ch>& body, const Spec& spec) {
    size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
    size_t pad = body.size() < width ? width - body.size() : 0;
    if (!spec.left) out.append(pad, static_cast<Ch>(' '));
    out += body;
    if (spec.left) out.append(pad, static_cast<Ch>(' '));
}

// Converts text of the other character width: 8-bit text is taken as the current
// code page, wide text is converted to it.
std::wstring Widen(const char* text, int length) {
    if (length <= 0) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, length, &out[0], n);
    return out;
}
std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, length, &out[0], n, nullptr, nullptr);
    return out;
}

template <typename Ch>
std::basic_string<Ch> Convert(const char* text, int length);
template <>
std::basic_string<char> Convert<char>(const char* text, int length) {
    return std::string(text, static_cast<size_t>(length));
}
template <>
std::basic_string<wchar_t> Convert<wchar_t>(const char* text, int length) {
    return Widen(text, length);
}
template <typename Ch>
std::basic_string<Ch> Convert(const wchar_t* text, int length);
template <>
std::basic_string<char> Convert<char>(const wchar_t* text, int length) {
    return Narrow(text, length);
}
template <>
std::basic_string<wchar_t> Convert<wchar_t>(const wchar_t* text, int length) {
    return std::wstring(text, static_cast<size_t>(length));
}

// Zero padding and precision are already in the digits; only the width is left.
template <typename Ch>
void AppendNumber(std::basic_string<Ch>& out, const std::string& digits, const Spec& spec) {
    Spec pad;
    pad.left = spec.left;
    pad.width = spec.width;
    std::basic_string<Ch> body;
    AppendAscii(body, digits);
    AppendPadded(out, body, pad);
}

template <typename Ch, typename Src>
void AppendString(std::basic_string<Ch>& out, const Src* text, const Spec& spec) {
    if (!text) {
        AppendPadded(out, Convert<Ch>("(null)", 6), spec);
        return;
    }
    size_t n = TextOf<Src>::Len(text);
    if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < n) n = static_cast<size_t>(spec.precision);
    AppendPadded(out, Convert<Ch>(text, static_cast<int>(n)), spec);
}

unsigned long long ReadUnsigned(va_list& args, Length length) {
    switch (length) {
    case Length::Short: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::Long: return va_arg(args, unsigned long);
    case Length::LongLong: return va_arg(args, unsigned long long);
    case Length::Size: return va_arg(args, size_t);
    default: return va_arg(args, unsigned);
    }
}
long long ReadSigned(va_list& args, Length length) {
    switch (length) {
    case Length::Short: return static_cast<short>(va_arg(args, int));
    case Length::Long: return va_arg(args, long);
    case Length::LongLong: return va_arg(args, long long);
    case Length::Size: return static_cast<long long>(va_arg(args, size_t));
    default: return va_arg(args, int);
    }
}

// Digits of an integer conversion with sign, prefix, precision and zero padding.
std::string FormatInteger(unsigned long long magnitude, bool negative, unsigned base, bool upper, const Spec& spec,
                          bool isSigned) {
    const char* digitsOf = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string digits;
    for (unsigned long long v = magnitude; v; v /= base) digits.insert(digits.begin(), digitsOf[v % base]);
    if (spec.precision >= 0) {
        if (spec.precision == 0 && magnitude == 0) digits.clear();
        while (digits.size() < static_cast<size_t>(spec.precision)) digits.insert(digits.begin(), '0');
    } else if (digits.empty()) {
        digits = "0";
    }
    std::string prefix;
    if (isSigned) {
        if (negative) prefix = "-";
        else if (spec.plus) prefix = "+";
        else if (spec.space) prefix = " ";
    }
    if (spec.alternate && magnitude != 0) {
        if (base == 16) prefix += upper ? "0X" : "0x";
        else if (base == 8 && digits[0] != '0') digits.insert(digits.begin(), '0');
        else if (base == 2) prefix += "0b";
    }
    if (spec.zero && !spec.left && spec.precision < 0 && spec.width > 0) {
        while (prefix.size() + digits.size() < static_cast<size_t>(spec.width)) digits.insert(digits.begin(), '0');
    }
    return prefix + digits;
}

std::string FormatFloat(long double value, bool isLong, const Spec& spec) {
    char format[16] = "%";
    size_t at = 1;
    if (spec.left) format[at++] = '-';
    if (spec.plus) format[at++] = '+';
    if (spec.space) format[at++] = ' ';
    if (spec.alternate) format[at++] = '#';
    if (spec.zero) format[at++] = '0';
    format[at++] = '*';
    format[at++] = '.';
    format[at++] = '*';
    if (isLong) format[at++] = 'L';
    format[at++] = 'f';
    format[at] = '\0';
    int width = spec.width > 0 ? spec.width : 0;
    int precision = spec.precision >= 0 ? spec.precision : 6;
    int n = isLong ? snprintf(nullptr, 0, format, width, precision, value)
                   : snprintf(nullptr, 0, format, width, precision, static_cast<double>(value));
    if (n <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    if (isLong) snprintf(buffer.data(), buffer.size(), format, width, precision, value);
    else snprintf(buffer.data(), buffer.size(), format, width, precision, static_cast<double>(value));
    return std::string(buffer.data(), static_cast<size_t>(n));
}

// Reads a width or precision: up to four digits, or '*' taken from the arguments.
template <typename Ch>
int ReadCount(const Ch*& p, va_list& args, bool& fromArgs) {
    fromArgs = false;
    if (*p == static_cast<Ch>('*')) {
        ++p;
        fromArgs = true;
        return va_arg(args, int);
    }
    int value = 0;
    for (int i = 0; i < 4 && *p >= static_cast<Ch>('0') && *p <= static_cast<Ch>('9'); ++i, ++p)
        value = value * 10 + (*p - static_cast<Ch>('0'));
    return value;
}

template <typename Ch>
const Ch* ReadSpec(const Ch* p, va_list& args, Spec& spec) {
    for (;; ++p) {
        switch (static_cast<wchar_t>(*p)) {
        case L'-': spec.left = true; continue;
        case L'+': spec.plus = true; continue;
        case L' ': spec.space = true; continue;
        case L'#': spec.alternate = true; continue;
        case L'0': spec.zero = true; continue;
        case L'!':
        case L'=': continue;  // accepted for old callers; they change nothing here
        default: break;
        }
        break;
    }
    bool fromArgs = false;
    if ((*p >= static_cast<Ch>('1') && *p <= static_cast<Ch>('9')) || *p == static_cast<Ch>('*')) {
        spec.width = ReadCount(p, args, fromArgs);
        if (fromArgs && spec.width < 0) {
            spec.left = true;
            spec.width = -spec.width;
        }
    }
    if (*p == static_cast<Ch>('.')) {
        ++p;
        spec.precision = ReadCount(p, args, fromArgs);
        if (spec.precision < 0) spec.precision = -1;
    }
    for (;;) {
        if (*p == static_cast<Ch>('h')) { spec.length = Length::Short; ++p; }
        else if (*p == static_cast<Ch>('l')) {
            spec.length = spec.length == Length::Long ? Length::LongLong : Length::Long;
            ++p;
        } else if (*p == static_cast<Ch>('L')) { spec.length = Length::LongDouble; ++p; }
        else if (*p == static_cast<Ch>('z')) { spec.length = Length::Size; ++p; }
        else if (*p == static_cast<Ch>('I')) {
            ++p;
            if (p[0] == static_cast<Ch>('6') && p[1] == static_cast<Ch>('4')) { spec.length = Length::LongLong; p += 2; }
            else if (p[0] == static_cast<Ch>('3') && p[1] == static_cast<Ch>('2')) { spec.length = Length::None; p += 2; }
            else spec.length = Length::Size;
        } else break;
    }
    return p;
}

template <typename Ch>
std::basic_string<Ch> FormatV(const Ch* format, va_list args) {
    std::basic_string<Ch> out;
    if (!format) return out;
    const bool wide = sizeof(Ch) == sizeof(wchar_t);
    for (const Ch* p = format; *p;) {
        if (*p != static_cast<Ch>('%')) {
            out.push_back(*p++);
            continue;
        }
        ++p;
        if (*p == static_cast<Ch>('%')) {
            out.push_back(*p++);
            continue;
        }
        Spec spec;
        p = ReadSpec(p, args, spec);
        const wchar_t conversion = static_cast<wchar_t>(*p);
        if (!*p) break;
        ++p;
        switch (conversion) {
        case L'd':
        case L'i': {
            long long v = ReadSigned(args, spec.length);
            unsigned long long magnitude =
                v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
            AppendNumber(out, FormatInteger(magnitude, v < 0, 10, false, spec, true), spec);
            break;
        }
        case L'u':
        case L'o':
        case L'x':
        case L'X':
        case L'b': {
            unsigned base = conversion == L'u' ? 10 : conversion == L'o' ? 8 : conversion == L'b' ? 2 : 16;
            AppendNumber(out, FormatInteger(ReadUnsigned(args, spec.length), false, base, conversion == L'X', spec, false),
                         spec);
            break;
        }
        case L'c':
        case L'C': {
            // c is a character of the format's own width, C one of the other width.
            bool wideChar = (conversion == L'c') == wide;
            int raw = va_arg(args, int);
            if (wideChar) {
                wchar_t c[2] = {static_cast<wchar_t>(raw), 0};
                AppendString(out, c, spec);
            } else {
                char c[2] = {static_cast<char>(raw), 0};
                AppendString(out, c, spec);
            }
            break;
        }
        case L's':
        case L'S':
        case L'A': {
            bool wideText = conversion == L'A' ? false : ((conversion == L's') == wide);
            if (wideText) AppendString(out, va_arg(args, const wchar_t*), spec);
            else AppendString(out, va_arg(args, const char*), spec);
            break;
        }
        case L'f': {
            bool isLong = spec.length == Length::LongDouble;
            long double v = isLong ? va_arg(args, long double) : static_cast<long double>(va_arg(args, double));
            std::string text = FormatFloat(v, isLong, spec);
            AppendAscii(out, text);
            break;
        }
        default:
            // An unknown conversion is copied as it stands so the text stays readable.
            out.push_back(static_cast<Ch>('%'));
            out.push_back(static_cast<Ch>(conversion));
            break;
        }
    }
    return out;
}

}  // namespace

std::wstring WideFormatV(const wchar_t* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    std::wstring out = FormatV<wchar_t>(format, copy);
    va_end(copy);
    return out;
}

std::string NarrowFormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    std::string out = FormatV<char>(format, copy);
    va_end(copy);
    return out;
}

std::wstring WideFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring out = WideFormatV(format, args);
    va_end(args);
    return out;
}

std::string NarrowFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = NarrowFormatV(format, args);
    va_end(args);
    return out;
}

}  // namespace kiv
