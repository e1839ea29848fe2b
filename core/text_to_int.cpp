#include "text_to_int.h"

int HexDigitValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

std::optional<int32_t> TryStrToInt(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (text.size() - at > 1 && text[at] == '0' &&
               (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == text.size())
        return std::nullopt;

    // Hexadecimal covers the whole 32-bit pattern ($FFFFFFFF is -1);
    // decimal must fit the signed range.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = base == 16 ? HexDigitValue(text[at])
                                     : (text[at] >= '0' && text[at] <= '9' ? text[at] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    const auto bits = static_cast<uint32_t>(negative ? 0u - static_cast<uint32_t>(value)
                                                     : static_cast<uint32_t>(value));
    return static_cast<int32_t>(bits);
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}
