#include "clean_text.h"

#include <array>
#include <cstdint>
#include <optional>

namespace clean_text {
namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kSurrogatesFirst = 0xD800;
constexpr char32_t kSurrogatesLast = 0xDFFF;

struct Range {
    char32_t first;
    char32_t last;
};

constexpr std::array<Range, 9> kRefused{{
    {0x0000, 0x001F}, // C0 controls
    {0x007F, 0x009F}, // DEL and C1 controls
    {0x061C, 0x061C}, // Arabic letter mark
    {0x200E, 0x200F}, // left-to-right and right-to-left marks
    {0x2028, 0x2029}, // line and paragraph separators
    {0x202A, 0x202E}, // bidirectional embeddings and overrides
    {0x2066, 0x2069}, // bidirectional isolates
    {0xFFF9, 0xFFFB}, // interlinear annotation controls
    {0xFEFF, 0xFEFF}, // zero-width no-break space (byte order mark)
}};

// Reads one UTF-8 sequence at `at`; nullopt when it is malformed, cut short,
// longer than needed, a surrogate or beyond U+10FFFF.
std::optional<char32_t> Decode(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    int extra = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, value = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, value = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, value = lead & 0x07, smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at <= static_cast<std::size_t>(extra))
        return std::nullopt;
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > kLastCodePoint ||
        (value >= kSurrogatesFirst && value <= kSurrogatesLast))
        return std::nullopt;
    at += static_cast<std::size_t>(extra) + 1;
    return value;
}

bool IsRefused(char32_t c) {
    for (const Range& range : kRefused)
        if (c >= range.first && c <= range.last)
            return true;
    return false;
}

} // namespace

bool IsClean(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto c = Decode(text, at);
        if (!c || IsRefused(*c))
            return false;
    }
    return true;
}

std::string ForLog(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

} // namespace clean_text
