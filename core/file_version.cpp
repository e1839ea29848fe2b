#include "file_version.h"

#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <unistd.h>

namespace {

constexpr char kMagic[] = {'Z', 'H', 'V', 'I'};
// A version block is a few hundred bytes; anything larger is not ours.
constexpr uint64_t kMaxBlockSize = 64 * 1024;
// Section header tables and name tables are read whole; bound them too.
constexpr uint64_t kMaxTableSize = 1024 * 1024;

uint16_t Read16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

std::optional<std::string> ReadRange(std::ifstream& in, uint64_t offset, uint64_t size,
                                     uint64_t fileSize) {
    if (offset > fileSize || size > fileSize - offset)
        return std::nullopt;
    std::string bytes(size, '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size)))
        return std::nullopt;
    return bytes;
}

// The content of the version section of a 64-bit little-endian ELF file.
std::optional<std::string> ReadVersionSection(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in)
        return std::nullopt;
    const auto fileSize = static_cast<uint64_t>(in.tellg());

    Elf64_Ehdr header;
    auto raw = ReadRange(in, 0, sizeof header, fileSize);
    if (!raw)
        return std::nullopt;
    std::memcpy(&header, raw->data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum)
        return std::nullopt;

    const uint64_t tableSize = uint64_t{header.e_shnum} * sizeof(Elf64_Shdr);
    if (tableSize > kMaxTableSize)
        return std::nullopt;
    auto table = ReadRange(in, header.e_shoff, tableSize, fileSize);
    if (!table)
        return std::nullopt;
    auto section = [&](unsigned i) {
        Elf64_Shdr s;
        std::memcpy(&s, table->data() + i * sizeof s, sizeof s);
        return s;
    };

    const Elf64_Shdr names = section(header.e_shstrndx);
    if (names.sh_size > kMaxTableSize)
        return std::nullopt;
    auto nameTable = ReadRange(in, names.sh_offset, names.sh_size, fileSize);
    if (!nameTable)
        return std::nullopt;

    for (unsigned i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr s = section(i);
        if (s.sh_name >= nameTable->size() || s.sh_type == SHT_NOBITS)
            continue;
        const char* name = nameTable->c_str() + s.sh_name;
        if (std::strcmp(name, kVersionSectionName) != 0)
            continue;
        if (s.sh_size > kMaxBlockSize)
            return std::nullopt;
        return ReadRange(in, s.sh_offset, s.sh_size, fileSize);
    }
    return std::nullopt;
}

} // namespace

std::optional<VersionBlock> VersionBlock::Parse(const std::string& bytes) {
    if (bytes.size() < sizeof kMagic + 2 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    VersionBlock block;
    size_t at = sizeof kMagic;
    const unsigned count = Read16(bytes, at);
    at += 2;
    auto take = [&](std::string& out) {
        if (bytes.size() - at < 2)
            return false;
        const size_t n = Read16(bytes, at);
        at += 2;
        if (bytes.size() - at < n)
            return false;
        out = bytes.substr(at, n);
        at += n;
        return true;
    };
    for (unsigned i = 0; i < count; ++i) {
        std::string key, value;
        if (!take(key) || !take(value))
            return std::nullopt;
        block.values_.emplace(std::move(key), std::move(value));
    }
    return block;
}

std::optional<std::string> VersionBlock::Query(const std::string& path) const {
    const auto it = values_.find(path);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> GetFileVersionInfo(const std::string& fileName) {
    return ReadVersionSection(fileName);
}

uint32_t GetFileVersionInfoSize(const std::string& fileName) {
    const auto block = ReadVersionSection(fileName);
    return block ? static_cast<uint32_t>(block->size()) : 0;
}

std::string GetFileVersionString(const std::string& fileName) {
    if (GetFileVersionInfoSize(fileName) == 0)
        return kUnknownFileVersion;
    const auto raw = GetFileVersionInfo(fileName);
    const auto block = raw ? VersionBlock::Parse(*raw) : std::nullopt;
    if (!block)
        return kUnknownFileVersion;
    const auto translation = block->Query("\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4)
        return kUnknownFileVersion;
    const unsigned language = Read16(*translation, 0);
    const unsigned codePage = Read16(*translation, 2);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%s%.4x%.4x%s", "\\StringFileInfo\\", language, codePage,
                  "\\");
    return block->Query(std::string(prefix) + "FileVersion").value_or(kUnknownFileVersion);
}

std::string OwnExecutablePath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    return std::string(path, static_cast<size_t>(n));
}

std::string OwnFileVersion() {
    return GetFileVersionString(OwnExecutablePath());
}
