#include "text_fields.h"

#include <algorithm>
#include <charconv>

namespace {
constexpr std::string_view kBlanks = " \t\r";
} // namespace

LineError::LineError(int line, const std::string& reason)
    : std::runtime_error(std::string("line ") + std::to_string(line) + ": " + reason), line_(line),
      reason_(reason) {}

std::vector<std::string_view> TextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t at = 0;
    while ((at = line.find_first_not_of(kBlanks, at)) != std::string_view::npos) {
        const size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<LatticePoint> LatticePointOf(std::string_view text) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const std::optional<int> r = WholeNumber(text.substr(0, comma));
    const std::optional<int> c = WholeNumber(text.substr(comma + 1));
    if (!r || !c)
        return std::nullopt;
    return LatticePoint{*r, *c};
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text);
    quoted += '"';
    return quoted;
}
