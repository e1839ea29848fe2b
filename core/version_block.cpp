// Compiled into every Zellhop program (not into the core library): the
// program's own version block, in a section of its own so that
// GetFileVersionString can find it in the file.
//
// Layout: "ZHVI", a 16-bit entry count, then per entry a 16-bit key length,
// the key, a 16-bit value length and the value; little-endian throughout.
#include <array>
#include <cstddef>
#include <string_view>

namespace {

struct Entry {
    std::string_view key;
    std::string_view value;
};

// Language 0x0409 (U.S. English), code page 0x04E4 (Windows-1252).
constexpr char kTranslation[] = {'\x09', '\x04', '\xe4', '\x04'};

constexpr Entry kEntries[] = {
    {"\\VarFileInfo\\Translation", std::string_view(kTranslation, sizeof kTranslation)},
    {"\\StringFileInfo\\040904e4\\FileVersion", "1.4.0.5"},
    {"\\StringFileInfo\\040904e4\\ProductVersion", "1.4"},
    {"\\StringFileInfo\\040904e4\\FileDescription", "Zellhop"},
    {"\\StringFileInfo\\040904e4\\ProductName", "Zellhop"},
};

constexpr std::size_t BlockSize() {
    std::size_t n = 4 + 2;
    for (const Entry& e : kEntries)
        n += 2 + e.key.size() + 2 + e.value.size();
    return n;
}

using Block = std::array<unsigned char, BlockSize()>;

constexpr Block BuildBlock() {
    Block b{};
    std::size_t at = 0;
    auto put16 = [&](std::size_t v) {
        b[at++] = static_cast<unsigned char>(v & 0xff);
        b[at++] = static_cast<unsigned char>(v >> 8);
    };
    auto putText = [&](std::string_view s) {
        for (char ch : s)
            b[at++] = static_cast<unsigned char>(ch);
    };
    putText("ZHVI");
    put16(std::size(kEntries));
    for (const Entry& e : kEntries) {
        put16(e.key.size());
        putText(e.key);
        put16(e.value.size());
        putText(e.value);
    }
    return b;
}

// Kept although nothing refers to it: the file itself is what is read.
[[gnu::used, gnu::section(".zellhop_version")]] constexpr Block kVersionBlock = BuildBlock();

} // namespace
