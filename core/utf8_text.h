// UTF-8 text cut to a size without cutting a character in two: names and
// chat lines have limits in bytes or characters, and a cut character
// would reach the other programs as garbage.
#pragma once

#include <cstddef>
#include <string>

// Whether the byte continues a character begun by an earlier byte.
inline bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The longest prefix of at most `bytes` bytes that ends on a character
// boundary.
std::string Utf8Prefix(const std::string& text, std::size_t bytes);
// The first `characters` characters.
std::string Utf8Characters(const std::string& text, std::size_t characters);
