#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a "+" in a query means. The game sends its queries unencoded, so a
// "+" there is a plus; a browser's form encoding writes a space as "+".
enum class PlusSign { Literal, Space };

// The key=value pairs of a request's query or form body, percent-decoded.
// Only the first "=" of a pair separates key and value, so a password
// holding "=" arrives whole; for a repeated key the first one counts.
class QueryParams {
  public:
    static QueryParams Parse(std::string_view text, PlusSign plus);

    const std::string* Find(std::string_view key) const;

  private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// A strictly decimal number from 1 to 2147483647 (digits only, no sign, no
// blanks); anything else is nullopt.
std::optional<std::int32_t> ParsePositiveNumber(std::string_view text);
