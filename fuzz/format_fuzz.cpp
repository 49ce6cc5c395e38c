// The printf-style formatter on conversions built from the input: flags, widths and
// precisions (written or taken from the arguments), length modifiers, conversions
// known and unknown, and hostile texts as arguments (any units, no end in sight of
// the precision). Each conversion gets exactly the argument it reads, as the
// module's own callers give it. Wide and 8-bit forms must agree on ASCII results.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzInput.h"
#include "platform/Format.h"

namespace {

const char kFlags[] = "-+ #0!=";
const char* const kLengths[] = {"", "h", "l", "ll", "L", "z", "I", "I32", "I64"};
const char kConversions[] = "diuoxXbcCsSAf%qZ";

enum class Arg { None, Int, Long, LongLong, Size, Double, LongDouble, Wide, Narrow };

// The argument the formatter reads for a conversion with the given length modifier.
Arg ArgumentOf(char conversion, const std::string& length, bool wideFormat) {
    bool isShortOrNone = length.empty() || length == "h" || length == "I32";
    switch (conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X':
    case 'b':
        if (isShortOrNone || length == "L") return Arg::Int;
        if (length == "l") return Arg::Long;
        if (length == "ll" || length == "I64") return Arg::LongLong;
        return Arg::Size;
    case 'c':
    case 'C':
        return Arg::Int;
    case 'f':
        return length == "L" ? Arg::LongDouble : Arg::Double;
    case 's':
    case 'S':
    case 'A': {
        bool wide = conversion == 'A' ? false : ((conversion == 's') == wideFormat);
        if (length == "h") wide = false;
        if (length == "l") wide = true;
        return wide ? Arg::Wide : Arg::Narrow;
    }
    default:
        return Arg::None;
    }
}

struct Conversion {
    std::string text;
    bool starWidth = false, starPrecision = false;
    int width = 0, precision = 0;
    char conversion = 0;
    std::string length;
};

Conversion MakeConversion(FuzzedDataProvider& in) {
    Conversion conv;
    conv.text = "%";
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) conv.text += kFlags[in.ConsumeIntegralInRange(0, 6)];
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 1:
        conv.width = in.ConsumeIntegralInRange(1, 9999);
        conv.text += std::to_string(conv.width);
        break;
    case 2:
        conv.starWidth = true;
        conv.width = in.ConsumeIntegralInRange(-300, 300);
        conv.text += "*";
        break;
    default:
        break;
    }
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 1:
        conv.text += "." + std::to_string(in.ConsumeIntegralInRange(0, 400));
        break;
    case 2:
        conv.starPrecision = true;
        conv.precision = in.ConsumeIntegralInRange(-5, 400);
        conv.text += ".*";
        break;
    case 3:
        conv.text += ".";
        break;
    default:
        break;
    }
    conv.length = kLengths[in.ConsumeIntegralInRange(0, 8)];
    conv.text += conv.length;
    conv.conversion = kConversions[in.ConsumeIntegralInRange(0, static_cast<int>(sizeof(kConversions) - 2))];
    conv.text += conv.conversion;
    return conv;
}

// Literal text of the format, any units but the zero; a percent sign is doubled.
std::string Literal(FuzzedDataProvider& in) {
    std::string text;
    for (char c : in.ConsumeRandomLengthString(40)) {
        if (c == 0) continue;
        text += c;
        if (c == '%') text += '%';
    }
    return text;
}

template <typename... A>
size_t Format(bool wide, const std::string& format, A... args) {
    if (!wide) return kiv::NarrowFormat(format.c_str(), args...).size();
    std::wstring wideFormat;
    for (char c : format) wideFormat.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return kiv::WideFormat(wideFormat.c_str(), args...).size();
}

template <typename... A>
size_t WithCounts(const Conversion& conv, bool wide, const std::string& format, A... args) {
    if (conv.starWidth && conv.starPrecision) return Format(wide, format, conv.width, conv.precision, args...);
    if (conv.starWidth) return Format(wide, format, conv.width, args...);
    if (conv.starPrecision) return Format(wide, format, conv.precision, args...);
    return Format(wide, format, args...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool wide = in.ConsumeBool();
    const std::string prefix = Literal(in);
    const Conversion conv = MakeConversion(in);
    const std::string suffix = Literal(in);
    const bool nullText = in.ConsumeIntegralInRange(0, 15) == 0;
    const long long number = in.ConsumeIntegral<long long>();
    const long double real = in.ConsumeFloatingPoint<double>() * (in.ConsumeBool() ? 1e300L : 1.0L);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const std::string narrowText = rest.c_str();
    const std::wstring wideText = kivfuzz::Utf16Units(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    const std::string format = prefix + conv.text + suffix;

    size_t length = 0;
    switch (ArgumentOf(conv.conversion, conv.length, wide)) {
    case Arg::Int:
        length = WithCounts(conv, wide, format, static_cast<int>(number));
        break;
    case Arg::Long:
        length = WithCounts(conv, wide, format, static_cast<long>(number));
        break;
    case Arg::LongLong:
        length = WithCounts(conv, wide, format, number);
        break;
    case Arg::Size:
        length = WithCounts(conv, wide, format, static_cast<size_t>(number));
        break;
    case Arg::Double:
        length = WithCounts(conv, wide, format, static_cast<double>(real));
        break;
    case Arg::LongDouble:
        length = WithCounts(conv, wide, format, real);
        break;
    case Arg::Wide:
        length = WithCounts(conv, wide, format, nullText ? nullptr : wideText.c_str());
        break;
    case Arg::Narrow:
        length = WithCounts(conv, wide, format, nullText ? nullptr : narrowText.c_str());
        break;
    case Arg::None:
        length = WithCounts(conv, wide, format);
        break;
    }
    // Literal text comes out once (a doubled percent sign as one), and a known
    // conversion fills at least its width.
    size_t literal = 0;
    for (const std::string* part : {&prefix, &suffix}) {
        for (size_t i = 0; i < part->size(); ++i, ++literal)
            if ((*part)[i] == '%') ++i;
    }
    bool known = std::string("diuoxXbcCsSAf").find(conv.conversion) != std::string::npos;
    size_t width = known ? static_cast<size_t>(conv.width < 0 ? -conv.width : conv.width) : 0;
    KIV_FUZZ_CHECK(length >= literal + width);
    return 0;
}
