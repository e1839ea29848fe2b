#include "utf8_text.h"

std::string Utf8Prefix(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && IsContinuationByte(text[end]))
        --end;
    return text.substr(0, end);
}

std::string Utf8Characters(const std::string& text, std::size_t characters) {
    std::size_t seen = 0;
    std::size_t end = 0;
    for (; end < text.size(); ++end)
        if (!IsContinuationByte(text[end]) && ++seen > characters)
            break;
    return text.substr(0, end);
}
