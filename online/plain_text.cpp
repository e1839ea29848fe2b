#include "plain_text.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Range {
    char32_t first, last;
};

// Direction controls (LRM, RLM, ALM, the embeddings, overrides and
// isolates), zero-width characters, invisible operators, the byte order
// mark, interlinear annotation and tag characters: none shows anything,
// and some reorder what follows.
constexpr Range kLeftOut[] = {
    {0x061C, 0x061C}, {0x180E, 0x180E}, {0x200B, 0x200F}, {0x202A, 0x202E},
    {0x2060, 0x206F}, {0xFEFF, 0xFEFF}, {0xFFF9, 0xFFFB}, {0xE0000, 0xE007F},
};

// The general combining marks, which stack without end above and below a
// letter.
constexpr Range kCombining[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF}, {0xFE20, 0xFE2F},
};

template <std::size_t N> bool In(const Range (&ranges)[N], char32_t c) {
    for (const Range& r : ranges)
        if (c >= r.first && c <= r.last)
            return true;
    return false;
}

bool BecomesSpace(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// The next character at `at`, moving past it; broken, overlong, surrogate
// and out-of-range sequences read as U+FFFD, one byte at a time.
char32_t NextCharacter(std::string_view bytes, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(at);
    int length = 0;
    char32_t c = 0, least = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        ++at;
        return kReplacement;
    }
    if (at + length > bytes.size()) {
        ++at;
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    at += length;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || (c & 0xFFFE) == 0xFFFE)
        return kReplacement;
    return c;
}

void Append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string PlainText(std::string_view bytes) {
    std::string out;
    int stacked = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t c = NextCharacter(bytes, at);
        if (In(kLeftOut, c))
            continue;
        if (In(kCombining, c)) {
            if (++stacked > kMaxStackedMarks)
                continue;
        } else {
            stacked = 0;
        }
        Append(out, BecomesSpace(c) ? U' ' : c);
    }
    return Trimmed(out);
}
