#include "profile_file.h"

#include "text_to_int.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

// Values are handed out through a buffer of this many characters, the last
// one kept for the terminator, as the settings always were.
constexpr size_t kValueBufferSize = 2048;

std::string Trim(const std::string& s) {
    const auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" opens a section; anything else is not a section header.
std::optional<std::string> SectionName(const std::string& line) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

struct KeyLine {
    std::string key;
    std::string value;
};

std::optional<KeyLine> ParseKeyLine(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';')
        return std::nullopt;
    const size_t eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return KeyLine{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::string Unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > kValueBufferSize - 1)
        v.resize(kValueBufferSize - 1);
    return v;
}

// Index of the section header line, or -1.
int FindSection(const std::vector<std::string>& lines, const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (name && SameName(*name, section))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

std::optional<std::string> ProfileFile::ReadString(const std::string& section,
                                                   const std::string& key) const {
    const std::vector<std::string> lines = ReadLines(path_);
    const int header = FindSection(lines, section);
    if (header < 0)
        return std::nullopt;
    for (size_t i = header + 1; i < lines.size() && !SectionName(lines[i]); ++i) {
        const auto kv = ParseKeyLine(lines[i]);
        if (kv && SameName(kv->key, key))
            return Unquote(kv->value);
    }
    return std::nullopt;
}

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& fallback) const {
    return ReadString(section, key).value_or(fallback);
}

int ProfileFile::ReadInteger(const std::string& section, const std::string& key,
                             int fallback) const {
    const auto text = ReadString(section, key);
    return text ? StrToIntDef(*text, fallback) : fallback;
}

void ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    std::vector<std::string> lines = ReadLines(path_);
    // A value ends where its line ends: a line break in it would make lines
    // of its own, even a section or a key nobody wrote.
    const std::string entry = key + "=" + value.substr(0, value.find_first_of("\r\n"));
    const int header = FindSection(lines, section);
    if (header < 0) {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    } else {
        size_t end = header + 1; // one past the section's last key line
        size_t i = header + 1;
        bool replaced = false;
        for (; i < lines.size() && !SectionName(lines[i]); ++i) {
            const auto kv = ParseKeyLine(lines[i]);
            if (kv && SameName(kv->key, key)) {
                lines[i] = entry;
                replaced = true;
                break;
            }
            if (!Trim(lines[i]).empty())
                end = i + 1;
        }
        if (!replaced)
            lines.insert(lines.begin() + static_cast<long>(end), entry);
    }

    namespace fs = std::filesystem;
    const fs::path target(path_);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const fs::path temporary = target.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines)
            out << line << '\n';
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temporary, ec);
            throw std::runtime_error("Cannot write " + path_);
        }
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw std::runtime_error("Cannot write " + path_);
    }
}

std::string DefaultSettingsPath() {
    namespace fs = std::filesystem;
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
    else
        base = ".";
    return (base / "zellhop" / "zellhop.ini").string();
}
