#include "platform/Format.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace kiv {
namespace {

enum class Length { None, Short, Long, LongLong, LongDouble, Size };

struct Conversion {
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
void AppendPadded(std::basic_string<Ch>& out, const std::basic_string<Ch>& body, const Conversion& conv) {
    size_t width = conv.width > 0 ? static_cast<size_t>(conv.width) : 0;
    size_t pad = body.size() < width ? width - body.size() : 0;
    if (!conv.left) out.append(pad, static_cast<Ch>(' '));
    out += body;
    if (conv.left) out.append(pad, static_cast<Ch>(' '));
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
void AppendNumber(std::basic_string<Ch>& out, const std::string& digits, const Conversion& conv) {
    Conversion pad;
    pad.left = conv.left;
    pad.width = conv.width;
    std::basic_string<Ch> body;
    AppendAscii(body, digits);
    AppendPadded(out, body, pad);
}

template <typename Ch, typename Src>
void AppendString(std::basic_string<Ch>& out, const Src* text, const Conversion& conv) {
    if (!text) {
        AppendPadded(out, Convert<Ch>("(null)", 6), conv);
        return;
    }
    size_t n = TextOf<Src>::Len(text);
    if (conv.precision >= 0 && static_cast<size_t>(conv.precision) < n) n = static_cast<size_t>(conv.precision);
    AppendPadded(out, Convert<Ch>(text, static_cast<int>(n)), conv);
}

unsigned long long ReadUnsigned(va_list& args, Length length) {
    switch (length) {
    case Length::Short:
        return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::Long:
        return va_arg(args, unsigned long);
    case Length::LongLong:
        return va_arg(args, unsigned long long);
    case Length::Size:
        return va_arg(args, size_t);
    default:
        return va_arg(args, unsigned);
    }
}
long long ReadSigned(va_list& args, Length length) {
    switch (length) {
    case Length::Short:
        return static_cast<short>(va_arg(args, int));
    case Length::Long:
        return va_arg(args, long);
    case Length::LongLong:
        return va_arg(args, long long);
    case Length::Size:
        return static_cast<long long>(va_arg(args, size_t));
    default:
        return va_arg(args, int);
    }
}

// Digits of an integer conversion with sign, prefix, precision and zero padding.
std::string FormatInteger(unsigned long long magnitude, bool negative, unsigned base, bool upper,
                          const Conversion& conv, bool isSigned) {
    const char* digitsOf = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string digits;
    for (unsigned long long v = magnitude; v; v /= base) digits.insert(digits.begin(), digitsOf[v % base]);
    if (conv.precision >= 0) {
        if (conv.precision == 0 && magnitude == 0) digits.clear();
        while (digits.size() < static_cast<size_t>(conv.precision)) digits.insert(digits.begin(), '0');
    } else if (digits.empty()) {
        digits = "0";
    }
    std::string prefix;
    if (isSigned) {
        if (negative) prefix = "-";
        else if (conv.plus) prefix = "+";
        else if (conv.space) prefix = " ";
    }
    if (conv.alternate && magnitude != 0) {
        if (base == 16) prefix += upper ? "0X" : "0x";
        else if (base == 8 && digits[0] != '0') digits.insert(digits.begin(), '0');
        else if (base == 2) prefix += "0b";
    }
    if (conv.zero && !conv.left && conv.precision < 0 && conv.width > 0) {
        while (prefix.size() + digits.size() < static_cast<size_t>(conv.width)) digits.insert(digits.begin(), '0');
    }
    return prefix + digits;
}

std::string FormatFloat(long double value, bool isLong, const Conversion& conv) {
    char format[16] = "%";
    size_t at = 1;
    if (conv.left) format[at++] = '-';
    if (conv.plus) format[at++] = '+';
    if (conv.space) format[at++] = ' ';
    if (conv.alternate) format[at++] = '#';
    if (conv.zero) format[at++] = '0';
    format[at++] = '*';
    format[at++] = '.';
    format[at++] = '*';
    if (isLong) format[at++] = 'L';
    format[at++] = 'f';
    format[at] = '\0';
    int width = conv.width > 0 ? conv.width : 0;
    int precision = conv.precision >= 0 ? conv.precision : 6;
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
const Ch* ReadSpec(const Ch* p, va_list& args, Conversion& conv) {
    for (;; ++p) {
        switch (static_cast<wchar_t>(*p)) {
        case L'-':
            conv.left = true;
            continue;
        case L'+':
            conv.plus = true;
            continue;
        case L' ':
            conv.space = true;
            continue;
        case L'#':
            conv.alternate = true;
            continue;
        case L'0':
            conv.zero = true;
            continue;
        case L'!':
        case L'=':
            continue;  // accepted for old callers; they change nothing here
        default:
            break;
        }
        break;
    }
    bool fromArgs = false;
    if ((*p >= static_cast<Ch>('1') && *p <= static_cast<Ch>('9')) || *p == static_cast<Ch>('*')) {
        conv.width = ReadCount(p, args, fromArgs);
        if (fromArgs && conv.width < 0) {
            conv.left = true;
            conv.width = -conv.width;
        }
    }
    if (*p == static_cast<Ch>('.')) {
        ++p;
        conv.precision = ReadCount(p, args, fromArgs);
        if (conv.precision < 0) conv.precision = -1;
    }
    for (;;) {
        if (*p == static_cast<Ch>('h')) {
            conv.length = Length::Short;
            ++p;
        } else if (*p == static_cast<Ch>('l')) {
            conv.length = conv.length == Length::Long ? Length::LongLong : Length::Long;
            ++p;
        } else if (*p == static_cast<Ch>('L')) {
            conv.length = Length::LongDouble;
            ++p;
        } else if (*p == static_cast<Ch>('z')) {
            conv.length = Length::Size;
            ++p;
        } else if (*p == static_cast<Ch>('I')) {
            ++p;
            if (p[0] == static_cast<Ch>('6') && p[1] == static_cast<Ch>('4')) {
                conv.length = Length::LongLong;
                p += 2;
            } else if (p[0] == static_cast<Ch>('3') && p[1] == static_cast<Ch>('2')) {
                conv.length = Length::None;
                p += 2;
            } else conv.length = Length::Size;
        } else break;
    }
    return p;
}

template <typename Ch>
// args by reference: the helpers below read from the same list, whatever type va_list is.
std::basic_string<Ch> FormatV(const Ch* format, va_list& args) {
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
        Conversion conv;
        p = ReadSpec(p, args, conv);
        const wchar_t conversion = static_cast<wchar_t>(*p);
        if (!*p) break;
        ++p;
        switch (conversion) {
        case L'd':
        case L'i': {
            long long v = ReadSigned(args, conv.length);
            unsigned long long magnitude =
                v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
            AppendNumber(out, FormatInteger(magnitude, v < 0, 10, false, conv, true), conv);
            break;
        }
        case L'u':
        case L'o':
        case L'x':
        case L'X':
        case L'b': {
            unsigned base = conversion == L'u' ? 10 : conversion == L'o' ? 8 : conversion == L'b' ? 2 : 16;
            AppendNumber(out,
                         FormatInteger(ReadUnsigned(args, conv.length), false, base, conversion == L'X', conv, false),
                         conv);
            break;
        }
        case L'c':
        case L'C': {
            // c is a character of the format's own width, C one of the other width.
            bool wideChar = conversion == L'c' ? wide : !wide;
            if (conv.length == Length::Short) wideChar = false;
            if (conv.length == Length::Long) wideChar = true;
            int raw = va_arg(args, int);
            if (wideChar) {
                wchar_t c[2] = {static_cast<wchar_t>(raw), 0};
                AppendString(out, c, conv);
            } else {
                char c[2] = {static_cast<char>(raw), 0};
                AppendString(out, c, conv);
            }
            break;
        }
        case L's':
        case L'S':
        case L'A': {
            // %hs and %ls name the width outright; otherwise s is the format's own
            // width, S the other one, and A always 8-bit.
            bool wideText = conversion == L'A' ? false : ((conversion == L's') == wide);
            if (conv.length == Length::Short) wideText = false;
            if (conv.length == Length::Long) wideText = true;
            if (wideText) AppendString(out, va_arg(args, const wchar_t*), conv);
            else AppendString(out, va_arg(args, const char*), conv);
            break;
        }
        case L'f': {
            bool isLong = conv.length == Length::LongDouble;
            long double v = isLong ? va_arg(args, long double) : static_cast<long double>(va_arg(args, double));
            std::string text = FormatFloat(v, isLong, conv);
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
