#include "query_params.h"

#include <limits>

namespace {

constexpr char kPairSeparator = '&';
constexpr char kKeyValueSeparator = '=';
constexpr char kEscape = '%';
constexpr std::size_t kEscapeLength = 3; // "%" and two hex digits

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A "%" that is not followed by two hex digits stays as it is.
std::string Decode(std::string_view text, PlusSign plus) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kEscape && i + kEscapeLength <= text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += kEscapeLength - 1;
                continue;
            }
        }
        out.push_back(c == '+' && plus == PlusSign::Space ? ' ' : c);
    }
    return out;
}

} // namespace

QueryParams QueryParams::Parse(std::string_view text, PlusSign plus) {
    QueryParams params;
    while (!text.empty()) {
        const std::size_t end = text.find(kPairSeparator);
        const std::string_view pair = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (pair.empty())
            continue;
        const std::size_t split = pair.find(kKeyValueSeparator);
        std::string key = Decode(pair.substr(0, split), plus);
        std::string value =
            split == std::string_view::npos ? std::string{} : Decode(pair.substr(split + 1), plus);
        params.items_.emplace_back(std::move(key), std::move(value));
    }
    return params;
}

const std::string* QueryParams::Find(std::string_view key) const {
    for (const auto& [itemKey, value] : items_)
        if (itemKey == key)
            return &value;
    return nullptr;
}

std::optional<std::int32_t> ParsePositiveNumber(std::string_view text) {
    constexpr std::size_t kMaxDigits = 10;
    if (text.empty() || text.size() > kMaxDigits)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}
